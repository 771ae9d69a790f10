// "Open Binary File For Post Processing": decodes a raw capture of an instrument's stream with
// the device file named on the acquisition panel, as if it had arrived from the port, and puts
// the records into the current data set.
#pragma once

#include <string>

#include "acquisition_controller.h"
#include "app_services.h"

class ReplayController {
  public:
    ReplayController(AppContext ctx, AcquisitionController& acquisition)
        : ctx_(ctx), acq_(acquisition) {}

    void M_OpenBinaryClick();
    // Everything after the open dialog; returns whether records were decoded and taken.
    bool replay(const std::string& capture_path);

  private:
    AppContext ctx_;
    AcquisitionController& acq_;
};
