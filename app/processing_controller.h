// The post-processing panel's Processing and Output groups: the whole panel as one set of
// processing options (the recipe the command line reads), the products the views show (QC
// flags, residual temperature, bins), recipes in and out, and the save of every chosen format
// in the background with Cancel.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app_services.h"
#include "processing_state.h"

class PostProcessController;

class ProcessingController {
  public:
    ProcessingController(AppContext ctx, PostProcessController& post) : ctx_(ctx), post_(post) {}

    // The SeaBASS metadata kept in the settings, once they are loaded.
    void RestoreSettings();

    // The options of the whole panel: the corrections the data set holds (the panel's fields
    // while no data set is loaded), the CTD log as merged, the Processing and Output groups.
    ProcessingOptions PanelOptions() const;
    // Puts options on the panel and applies them: the CTD, water and GPS files they name are
    // loaded first (a file that is not there is named in the status bar), then the fields are
    // set, the corrections applied and the products made again.
    void ShowOptions(const ProcessingOptions& o);

    // A control of the Processing group changed: the residual temperature item follows the
    // grid, and the products are made again.
    void Changed();
    // Makes the products the views show (none when no step of the Processing group is on).
    // Why they cannot be made goes into the group's note and the status bar; the views then show
    // the corrections only.
    void Reprocess();

    // File -> Open Recipe... / Save Recipe...
    void OpenRecipe();
    bool OpenRecipeFile(const std::string& path);
    void SaveRecipe();
    bool SaveRecipeFile(const std::string& path);

    // Thresholds... and SeaBASS Metadata...
    void EditThresholds();
    void EditMetadata();

    // "Save": the chosen formats under the proposed names (the dialog may change the text
    // file's name; the others follow it).  Without any step or format beyond the corrected
    // text file, the corrections group's save is used unchanged.  Runs in the background; Cancel
    // leaves no file of this save behind.
    void Save();

  private:
    // Asks for the SeaBASS keywords neither the data nor the metadata give; false when the
    // user cancels or the file cannot be written at all (told in a message box).
    bool AskSeabassMetadata(ProcessingOptions& o);
    void RememberMetadata(const std::map<std::string, std::string>& values);
    // The residual temperature item: allowed on a common grid with three channels in its
    // window; otherwise the reason.
    void CheckResidual();
    AppContext ctx_;
    PostProcessController& post_;
};

// The SeaBASS keywords the metadata dialog asks for (the required ones the writer does not
// fill in itself).
std::vector<std::string> metadata_keywords();
// The metadata as the settings keep them: one KEY=VALUE line each.
std::string metadata_text(const std::map<std::string, std::string>& values);
std::map<std::string, std::string> metadata_from_text(const std::string& text);

// How a SeaBASS check's refusal starts; its findings follow, one per line.
inline constexpr const char* kSeabassCheckFailed = "The SeaBASS file fails its check";

// What the app writes into a NetCDF file's history.
inline constexpr const char* kAppHistory = "Velmora app";
