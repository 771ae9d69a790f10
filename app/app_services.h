// The seams between the application's controllers and the screen: the clock, the user's
// answers (message boxes, file dialogs, the small modal dialogs), the list of views and the
// workspace the main window owns.  Controllers take these by reference, so tests drive every
// command with a fake clock and scripted answers and check the plain state the widgets mirror.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hyp_data.h"
#include "parent_reader.h"
#include "processing_state.h"
#include "settings_store.h"
#include "time_stamp.h"

// ---------------------------------------------------------------------------------------------
// Clock

class Clock {
  public:
    virtual ~Clock() = default;
    // Calendar time in whole seconds (the time-outs compare these).
    virtual std::int64_t now_seconds() const = 0;
    // Calendar time in milliseconds.
    virtual std::int64_t now_ms() const = 0;
    // Local calendar fields of now (default file names, the clock label).
    virtual std::tm local_time() const {
        std::time_t t = static_cast<std::time_t>(now_seconds());
        std::tm out{};
        localtime_r(&t, &out);
        return out;
    }
};

class SystemClock : public Clock {
  public:
    std::int64_t now_seconds() const override {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
    std::int64_t now_ms() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
};

// A message about a file as the message boxes show it: the message, then the file's path on a
// second line (left out when the message already names the path).
std::string with_path(const std::string& text, const std::string& path);

// The status-bar line after a save: "Wrote PATH (SIZE)" for every file, sizes in B, kB or MB.
std::string written_files_status(const std::vector<std::string>& paths);

// Runs `job`; a VelmoraError it raises comes out again with `path` on its second line.
template <typename F> void naming_file(const std::string& path, F&& job) {
    try {
        job();
    } catch (const VelmoraError& e) {
        throw VelmoraError(with_path(e.what(), path));
    }
}

// ---------------------------------------------------------------------------------------------
// The user's answers

// Modal results the callers test.
enum ModalResult : int {
    mrOk = 1,
    mrCancel = 2,
    mrFacCalValue = -998,     // factory-temperature query: a value was entered
    mrFacCalCancelled = -999, // factory-temperature query: Cancel
};

// The four CTD column numbers, 1-based.
struct CtdColumns {
    int time = 1;
    int pres = 2;
    int temp = 3;
    int saln = 5;
    CtdTimeFormat time_format = CtdTimeFormat::Ms; // what the time column holds
    double lag_s = 0.0;                            // added to every CTD time
    // The time-shift tool's last estimate as a lag (s), offered by the dialog; not an answer.
    std::optional<double> lag_estimate_s = std::nullopt;
};

// What "Save As Water File" hands to the water calibration dialog before showing it.
struct WaterCalRequest {
    std::vector<double> a_wavelengths, a_mean; // "Absorption" curve
    std::vector<double> c_wavelengths, c_mean; // "Attenuation" curve
    int scat_index = 0;                        // selected in the dialog's scattering list
    std::string scat_wl_text;                  // copied into its wavelength field
};

class UserDialogs {
  public:
    virtual ~UserDialogs() = default;

    // A message box with OK (ok_cancel false) or OK and Cancel; an empty caption shows none.
    // Returns mrOk or mrCancel (a box with OK only always returns mrOk).
    virtual int message(const std::string& text, const std::string& caption,
                        bool ok_cancel = false) = 0;

    // The window's open and save dialogs.  `filter` in the form "Name|*.ext|Name|*.*".
    // An empty optional means the user cancelled.  The save dialog asks before overwriting.
    virtual std::optional<std::string> open_file(const std::string& title,
                                                 const std::string& filter) = 0;
    virtual std::optional<std::string> save_file(const std::string& title,
                                                 const std::string& filter,
                                                 const std::string& proposed_name) = 0;

    // TF_FacCalQuery: mrFacCalValue with `value` set, mrFacCalCancelled, or mrCancel when
    // closed with the close box.  `value` holds the last value entered between uses.
    virtual int fac_cal_query(double& value) = 0;

    // TF_ContSaving: mrOk "Save and continuing saving to file", mrCancel "Just save what has
    // been read" (also the close box).
    virtual int continue_saving() = 0;

    // TF_LoadCTD: shows a preview of `path` and the four column fields filled from `columns`;
    // on OK (after its own column check) stores the accepted numbers in `columns` and returns
    // mrOk; mrCancel otherwise.  Raises VelmoraError "Unable to open file." when the file
    // cannot be opened (the dialog does not open).
    virtual int load_ctd_columns(const std::string& path, CtdColumns& columns) = 0;

    // TF_MakeWater.  The dialog keeps its field texts between uses; the caller reads them
    // before and after showing it.
    virtual std::string water_temperature_text() = 0;
    virtual int water_scat_index() = 0;
    // Empties the temperature field, fills the lists and curves, shows the dialog modally;
    // mrOk "Make Water Cal File", mrCancel otherwise.
    virtual int make_water(const WaterCalRequest& request) = 0;

    // TAboutBox1.
    virtual void about() = 0;

    // "Set Start Time": a date-time field in UTC filled with `proposed` (ms since 1970); the
    // time accepted with OK, nothing on Cancel.
    virtual std::optional<std::int64_t> start_time(std::int64_t proposed) = 0;

    // The QC thresholds dialog, filled from `qc`; on OK `qc` holds the values and mrOk is
    // returned.  Nobody answers: mrCancel.
    virtual int qc_thresholds(ProcessingOptions::Qc& /*qc*/) { return mrCancel; }
    // The SeaBASS metadata dialog: a field for every keyword, filled from `values` (`missing`
    // ones marked); on OK `values` holds the fields that are not empty.
    virtual int seabass_metadata(const std::vector<std::string>& /*keywords*/,
                                 std::map<std::string, std::string>& /*values*/,
                                 const std::vector<std::string>& /*missing*/) {
        return mrCancel;
    }
    // A list of lines to read (a SeaBASS check's findings).
    virtual void findings(const std::string& /*title*/, const std::vector<std::string>& /*lines*/) {
    }
};

// Dialogs that nobody answers (the command line, a screenshot run, a benchmark): every question
// is cancelled, no file is opened, and a save dialog answers `save_answer` (cancelled when
// empty).  Messages go to `report` when one is set.
class NullDialogs : public UserDialogs {
  public:
    std::function<void(const std::string& caption, const std::string& text)> report;
    std::optional<std::string> save_answer;

    int message(const std::string& text, const std::string& caption, bool ok_cancel) override;
    std::optional<std::string> open_file(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> save_file(const std::string&, const std::string&,
                                         const std::string&) override {
        return save_answer;
    }
    int fac_cal_query(double&) override { return mrFacCalCancelled; }
    int continue_saving() override { return mrCancel; }
    int load_ctd_columns(const std::string&, CtdColumns&) override { return mrCancel; }
    std::string water_temperature_text() override { return {}; }
    int water_scat_index() override { return 0; }
    int make_water(const WaterCalRequest&) override { return mrCancel; }
    void about() override {}
    std::optional<std::int64_t> start_time(std::int64_t) override { return std::nullopt; }
};

// ---------------------------------------------------------------------------------------------
// The views the main window drives, in list order

class ViewHub {
  public:
    virtual ~ViewHub() = default;
    virtual void AttachData(HYP_Data* data) = 0;
    virtual void SetLiveMode(bool live) = 0;
    virtual void NewRecords() = 0;
    virtual void Refresh() = 0;
};

// No views at all.
class NullViews : public ViewHub {
  public:
    void AttachData(HYP_Data*) override {}
    void SetLiveMode(bool) override {}
    void NewRecords() override {}
    void Refresh() override {}
};

// ---------------------------------------------------------------------------------------------
// Plain state that the widgets mirror.  Controllers change it; the main window copies it onto
// the widgets after every command and tick (TF_Main::SyncWidgets).

struct ActionState {
    bool enabled = true;
    bool visible = true;
    bool checked = false;
};

// Actions and menu items of the main window, with their state after start-up.
struct WindowState {
    std::string caption = "Velmora";
    // A line for the status bar; the main window shows it once and empties it.
    std::string status;
    int tab_index = 0; // 0 "Data Acquisition", 1 "Post Processing"
    bool post_tab_enabled = true;
    // The open dialog's filter keeps what the last command set ("with whatever filter it has").
    std::string open_filter = "All Files (*.*)|*.*";
    std::string save_filter = "All Files (*.*)|*.*";

    // Both disabled by Start and enabled again by Stop: loading or replaying under a running
    // tick would replace the data set or reader it writes to.
    ActionState FileOpen;   // "&Open ac File For Post Processing" (Ctrl+O)
    ActionState OpenBinary; // "Open &Binary File For Post Processing"
    ActionState A_LoadCTD{false};
    ActionState A_Start;
    ActionState A_Stop{false};
    ActionState A_SaveBinary{false};
    ActionState A_SaveFromDevice{false};
    ActionState A_SaveWCorrections{true, false}; // action enabled, menu item hidden
    ActionState A_Time;
    ActionState A_Depth{false};
    ActionState A_Spectra;
    ActionState A_ReferenceSpectra{false, false}; // action disabled, menu item hidden
    ActionState M_WaterCorrections;
    ActionState M_AutoTemp{true, false};
    ActionState M_Brevian{true, false};
};

// The texts and list index both panels start with: the processing options' defaults, so the
// two tabs cannot start apart.
std::string default_option_text(double value);
inline std::string default_temp_text() {
    return default_option_text(ProcessingOptions{}.temperature.constant);
}
inline std::string default_saln_text() {
    return default_option_text(ProcessingOptions{}.salinity.constant);
}
inline std::string default_scat_wl_text() {
    return ProcessingOptions::wavelength_text(ProcessingOptions{}.scattering.reference_nm);
}
inline int default_scat_index() {
    return ProcessingOptions::list_index_for_method(ProcessingOptions{}.scattering.method);
}

// Why the correction controls are off for a file of corrected data.
constexpr const char* kAlreadyCorrectedNote = kAlreadyCorrected;

// The post-processing panel (TFr_PostProcess).
struct PostPanelState {
    bool B_OpenHYP_enabled = true;
    std::string E_HYPFile = "(no file loaded)";
    std::string L_StartTime; // under the file name: start_time_label, hidden when empty
    bool B_LoadWater_enabled = false;
    std::string E_Water;
    std::string L_WaterTemp = "Water calibration temperature:";
    bool L_WaterTemp_visible = false;
    bool CB_Water = false;
    bool CB_Water_visible = false;
    std::string E_CTDFile = "(no file loaded)";
    // "Load GPS Data" and the NMEA log merged; on once a data file is loaded.
    bool B_LoadGPS_enabled = false;
    std::string E_GPSFile = "(no file loaded)";
    bool CB_Temp = false;
    // The third item reads the data file's own temperature column (HYP files of Velmora hold the
    // instrument's external sensor there).
    std::vector<std::string> PD_Temp_items{"Constant", "CTD Not Loaded", "Onboard Sensors"};
    int PD_Temp = 0; // selected index; -1 when the user typed into the list
    std::string E_Temp = default_temp_text();
    bool E_Temp_visible = true;
    bool CB_Saln = false;
    std::vector<std::string> PD_Saln_items{"Constant", "CTD Not Loaded"};
    int PD_Saln = 0;
    std::string E_Saln = default_saln_text();
    bool E_Saln_visible = true;
    bool CB_ScatCorr = false;
    // "Proportional Correction", "Baseline Correction", "Percentage of b (14%)"
    int PD_ScatType = default_scat_index();
    std::string E_ScatWL = default_scat_wl_text();
    bool B_Save_enabled = true;
    // Off for a file that holds corrected data: its corrections are applied already.  Every
    // correction control, Load CTD, Load Water and Save are off with it, whatever their own
    // state; the note says why (empty otherwise).
    bool corrections_enabled = true;
    std::string corrections_note;
};

// The preview corrections of the acquisition panel (TFr_RealTime), which
// ApplyCorrectionOptions reads while the "Data Acquisition" tab is selected.
struct PreviewOptions {
    bool CB_Temp = false;
    bool CB_Saln = false;
    bool CB_ScatCorr = false;
    std::string E_Temp = default_temp_text();
    std::string E_Saln = default_saln_text();
    int PD_ScatType = default_scat_index(); // "Proportional Correction", "Baseline Correction"
    std::string E_ScatWL = default_scat_wl_text();
};

// ---------------------------------------------------------------------------------------------
// The session: what the program is doing.  Only the workspace's transitions change it.
//   Idle       nothing runs; every command is open
//   Starting   Start is checking the device file and opening the port
//   Running    the port is open and the tick decodes records into the data set
//   Stopping   Stop is closing the port and writing the last records
//   Replaying  a raw capture is being decoded into the data set
//   Loading    a data, CTD or water file is being read
//   Saving     a file is being written
enum class SessionState { Idle, Starting, Running, Stopping, Replaying, Loading, Saving };

const char* session_state_name(SessionState s);

// The correction options of the acquisition panel's preview over those the data set holds:
// constant temperature and salinity, the scattering method of the panel's list and its typed
// reference wavelength.
ProcessingOptions preview_processing_options(const PreviewOptions& p, const HYP_Data& d);
// The post-processing panel's switches, typed constants, scattering list and reference field
// onto `o` (the sources and files are the caller's).
void apply_post_panel_fields(const PostPanelState& p, ProcessingOptions& o);

// What a cancelled job throws from its checkpoint.
class JobCancelled : public std::exception {
  public:
    const char* what() const noexcept override { return "Cancelled."; }
};

// ---------------------------------------------------------------------------------------------
// What the main window owns for the life of the process.

struct Workspace {
    // Exactly one data set and one reader at any time (after the first activation).
    std::unique_ptr<HYP_Data> data = std::make_unique<HYP_Data>();
    std::unique_ptr<parent_reader> reader = std::make_unique<parent_reader>();
    VelmoraSettings reg;

    bool dataValid = false;
    std::string contSaveFile;      // empty when not saving continuously
    int acqState = 0;              // the acquisition tick's state
    std::int64_t lastActivity = 0; // whole seconds

    WindowState window;
    PostPanelState post;
    ProcessingPanelState processing;
    PreviewOptions preview;
    // The acquisition panel's port number (UD_Port, E_CommPort) and device file field (E_Device),
    // and whether the user may change them (not while acquiring).
    int UD_Port = 1;
    std::string E_Device;
    bool UD_Port_enabled = true;
    bool E_CommPort_enabled = true;
    bool B_Device_enabled = true;
    // The file the last acquisition saved its records to; empty when it saved none.
    std::string acquired_file;
    // The lag the time-shift tool last estimated for the CTD log (s, the whole lag to give it),
    // which the CTD column dialog offers; nothing before an estimate or after a new data set.
    std::optional<double> ctd_lag_estimate_s;

    // Runs a long job (loading or saving a large file).  The main window runs it on a worker
    // thread behind a progress bar and returns when it is done, rethrowing what the job threw;
    // without a runner (tests, the command line) the job runs in place.  The job must touch
    // only objects no one else uses meanwhile.
    // `state` (Loading, Saving) is the session while the job runs, unless an acquisition is
    // running (a save of what was acquired so far leaves it Running).
    std::function<void(const std::string& label, const std::function<void()>& job)> job_runner;
    void run_job(SessionState state, const std::string& label, const std::function<void()>& job);
    // A job the user may cancel: the progress window offers Cancel, which sets
    // cancel_requested; the job calls job_checkpoint() between its steps, which then throws
    // JobCancelled.  The job must leave nothing behind when it is cancelled.
    void run_cancellable_job(SessionState state, const std::string& label,
                             const std::function<void()>& job);
    void job_checkpoint() const;
    std::atomic<bool> cancel_requested{false};
    bool job_cancellable = false; // while a cancellable job runs

    // The session and its transitions.  Each transition sets every action and control that
    // follows the session (kSessionControls); the others keep their state.
    SessionState session() const { return session_; }
    // From Starting until Stop has finished: the reader and the tick own the data set.
    bool acquiring() const {
        return session_ == SessionState::Starting || session_ == SessionState::Running ||
               session_ == SessionState::Stopping;
    }
    // Idle -> Starting; false (nothing changes) when the session is not idle.
    bool begin_start();
    // Starting -> Running: the port is open.
    void started();
    // Starting -> Idle: nothing was started.
    void start_failed();
    // Running -> Stopping.
    void begin_stop();
    // Stopping -> Idle.
    void stopped();
    // Idle -> Replaying, Loading or Saving until the guard goes; in any other session the guard
    // changes nothing (a job inside a job, a save while acquiring).
    class Busy {
      public:
        Busy(Workspace& ws, SessionState state);
        ~Busy();
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

      private:
        Workspace& ws_;
        bool entered_;
    };

    // Replaces the data set by a new empty one and attaches the views to it before the old
    // one is destroyed, so no view ever holds a pointer to a destroyed data set.
    // Whether the data set in place may be corrected (not when it holds corrected data).
    void allow_corrections(bool allowed);

    HYP_Data& replace_data(ViewHub& views) {
        auto fresh = std::make_unique<HYP_Data>();
        views.AttachData(fresh.get());
        data.swap(fresh);
        return *data;
    }

  private:
    void apply_session_controls();
    SessionState session_ = SessionState::Idle;
};

// A control that follows the session: what it is while an acquisition runs (from the moment
// the port is open until Stop has finished) and once the session is idle again after it.
// Keep leaves the control as it is.
enum class Follow : std::int8_t { Off, On, Keep };
struct SessionControl {
    const char* name;
    bool& (*flag)(Workspace&);
    Follow acquiring;
    Follow after_stop;
};
extern const std::vector<SessionControl> kSessionControls;

// The services a controller needs, handed over together.
struct AppContext {
    Workspace& ws;
    UserDialogs& dialogs;
    ViewHub& views;
    Clock& clock;
};
