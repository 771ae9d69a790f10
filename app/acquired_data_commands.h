// The File-menu commands that save what an acquisition produced: the raw byte capture, the
// acquired records (with the choice to keep saving continuously while acquiring) and the
// records corrected with the acquisition panel's preview options.  None of them catches a
// writer's error: it reaches the application's top-level error report.
#pragma once

#include "acquisition_controller.h"
#include "app_services.h"

class AcquiredDataCommands {
  public:
    AcquiredDataCommands(AppContext ctx, AcquisitionController& acquisition)
        : ctx_(ctx), acq_(acquisition) {}

    // "Save Raw Binary From Device"
    void A_SaveBinaryClick();
    // "Save Raw Data From Device"
    void A_SaveFromDeviceExecute();
    // "Save With Corrected Data From Device"
    void A_SaveWCorrectionsExecute();

    // The proposed names: the data set's name with "bin" for its last three characters, and
    // without its last four characters followed by "_previewcorrected.dat".
    static std::string raw_capture_name(const std::string& file_name);
    static std::string preview_corrected_name(const std::string& file_name);

  private:
    AppContext ctx_;
    AcquisitionController& acq_;
};
