// The "Post Processing" road: load a data file into a fresh data set, merge a CTD file through
// the column dialog, load a water calibration, copy the panel's options into the data set and
// save the corrected file.  Works on the workspace's plain panel state; TFr_PostProcess mirrors it.
#pragma once

#include <string>

#include "app_services.h"

// A file name without its last `n` characters (a shorter name is kept whole).
std::string drop_last(const std::string& name, std::size_t n);

// The shortest general decimal form (up to 15 significant digits) in which the selected-data
// window shows times and pressures.
std::string general_number(double value);

// What a file given on the command line or dropped on the window holds, from its second line
// (as the data file reader recognises its kinds) and its extension.
enum class InputFileKind { Data, Ctd, Water };
InputFileKind classify_input_file(const std::string& path);

// The line under the file name on the post-processing panel: "start time " and the data set's
// start, "start time unknown", or nothing while no data set is in place.
std::string start_time_label(const Workspace& ws);

class PostProcessController {
  public:
    explicit PostProcessController(AppContext ctx) : ctx_(ctx) {}

    // "Load ac Data": asks for the file, then LoadDataFile.
    void B_OpenHYPClick();
    // The load itself: a fresh data set filled on the job runner, put in place on success.
    // Returns true when the file was loaded.
    bool LoadDataFile(const std::string& path);

    // "Load CTD Data": asks for the file, then LoadCtdFile.
    void B_OpenCTDClick();
    bool LoadCtdFile(const std::string& path);

    // "Load Water": asks for the file, then LoadWaterFile.
    // Reads and merges a CTD log with the columns, time format and lag given (no dialog).
    // With `max_gap_s`, records with no sample that near get NaN CTD values (the default: 60 s
    // for clock times, no limit otherwise).
    bool MergeCtdFile(const std::string& path, const CtdColumns& columns,
                      std::optional<double> max_gap_s = std::nullopt);
    void B_LoadWaterClick();
    bool LoadWaterFile(const std::string& path);

    // "Load GPS Data": asks for the NMEA log, then LoadGpsFile, which gives every record the
    // position at its clock time (the data set needs its start time); Save then writes them.
    void B_LoadGPSClick();
    bool LoadGpsFile(const std::string& path);

    // "Save": corrected output under the default name (the dialog may change it).
    void B_SavePostClick();
    std::string DefaultCorrectedName() const;

    // Copies the options of the selected tab's panel into the data set, then refreshes every
    // view.  Raises "my lunch" when a source list holds typed text instead of an item.
    void ApplyCorrectionOptions();

    // A choice in PD_Temp / PD_Saln (index -1: the user typed into the list).
    void PD_TempChange(int index);
    void PD_SalnChange(int index);

    // "Options > Set Start Time...": the start time of the data set in place, in UTC, proposed
    // as the data set's own or else as the modification time of its file.
    void M_SetStartTimeClick();

    // The reference wavelength's up-down and Enter key on this panel.
    void UpDown1Click(bool up);
    void E_ScatWLKeyDown1(int key);

    // The same two commands on any reference field (the acquisition panel's E_ScatWL too).
    void StepReferenceWavelength(std::string& field, bool up);
    void EnterReferenceWavelength(std::string& field, int key);

  private:
    AppContext ctx_;
};
