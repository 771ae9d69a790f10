// `velmora --demo [hyp|flw]`: a simulated instrument streams into a pseudo-terminal that a
// port number maps to, and the acquisition panel is set to that port and the matching sample
// device file, ready for Start.
#pragma once

#include <memory>
#include <string>

#include "simulator.h"

struct Workspace;

struct DemoSession {
    std::unique_ptr<sim::PtyStream> stream; // stops streaming when destroyed
    std::string device_file;
    std::string link; // the pseudo-terminal's path that the port number maps to
    int port = 0;
    ~DemoSession();
};

// The port number the demonstration instrument answers on.
constexpr int kDemoPort = 99;

// Finds the sample device file of the model ("hyp" or "flw", any case) among the sample data:
// VELMORA_DATA_DIR, then data/ beside or above the executable and in the source tree.
// Empty when there is none.
std::string find_sample_devfile(const std::string& model);

// Starts the simulated instrument and maps VELMORA_COM<kDemoPort> to it.  Raises VelmoraError
// naming what is missing (unknown model, no sample device file, no pseudo-terminal).
std::unique_ptr<DemoSession> start_demo(const std::string& model);

// Puts the demonstration's device file and port on the acquisition panel and selects the
// "Data Acquisition" tab.  The stored settings are not changed.
void apply_demo(const DemoSession& demo, Workspace& ws);
