// The seams between the application's controllers and the screen: the clock, the user's
// answers (message boxes, file dialogs, the small modal dialogs), the list of views and the
// workspace the main window owns.  Controllers take these by reference, so tests drive every
// command with a fake clock and scripted answers and check the plain state the widgets mirror.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hyp_data.h"
#include "parent_reader.h"
#include "settings_store.h"

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

// Tests move time by hand.  `local` fixes the calendar fields independent of the time zone;
// advancing moves its seconds along (normalised with timegm so minutes and days roll over).
class FakeClock : public Clock {
  public:
    std::int64_t ms = 1236607507000; // 9 March 2009 14:05:07 UTC
    std::tm local = make_tm(2009, 3, 9, 14, 5, 7);

    std::int64_t now_seconds() const override { return ms / 1000; }
    std::int64_t now_ms() const override { return ms; }
    std::tm local_time() const override { return local; }

    void advance_seconds(std::int64_t s) { advance_ms(s * 1000); }
    void advance_ms(std::int64_t d) {
        std::int64_t before = ms / 1000;
        ms += d;
        local.tm_sec += static_cast<int>(ms / 1000 - before);
        std::time_t t = timegm(&local);
        gmtime_r(&t, &local);
    }

    static std::tm make_tm(int year, int month, int day, int hour, int minute, int second) {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        std::time_t n = timegm(&t);
        gmtime_r(&n, &t); // fills weekday and day of year
        return t;
    }
};

// "%u%02u%02u%02u%02u%02u" of a local time: year, month, day, hour, minute, second.
std::string time_stamp_for_name(const std::tm& t);

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

// The post-processing panel (TFr_PostProcess).
struct PostPanelState {
    bool B_OpenHYP_enabled = true;
    std::string E_HYPFile = "(no file loaded)";
    bool B_LoadWater_enabled = false;
    std::string E_Water;
    std::string L_WaterTemp = "Water calibration temperature:";
    bool L_WaterTemp_visible = false;
    bool CB_Water = false;
    bool CB_Water_visible = false;
    std::string E_CTDFile = "(no file loaded)";
    bool CB_Temp = false;
    std::vector<std::string> PD_Temp_items{"Constant", "CTD Not Loaded"};
    int PD_Temp = 0; // selected index; -1 when the user typed into the list
    std::string E_Temp = "21";
    bool E_Temp_visible = true;
    bool CB_Saln = false;
    std::vector<std::string> PD_Saln_items{"Constant", "CTD Not Loaded"};
    int PD_Saln = 0;
    std::string E_Saln = "17";
    bool E_Saln_visible = true;
    bool CB_ScatCorr = false;
    int PD_ScatType =
        0; // "Proportional Correction", "Baseline Correction", "Percentage of b (14%)"
    std::string E_ScatWL = "715";
    bool B_Save_enabled = true;
};

// The preview corrections of the acquisition panel (TFr_RealTime), which
// ApplyCorrectionOptions reads while the "Data Acquisition" tab is selected.
struct PreviewOptions {
    bool CB_Temp = false;
    bool CB_Saln = false;
    bool CB_ScatCorr = false;
    std::string E_Temp = "21";
    std::string E_Saln = "34";
    int PD_ScatType = 1; // "Proportional Correction", "Baseline Correction"
    std::string E_ScatWL = "715";
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
    PreviewOptions preview;
    // The acquisition panel's port number (UD_Port, E_CommPort) and device file field (E_Device).
    int UD_Port = 1;
    std::string E_Device;

    // Runs a long job (loading or saving a large file).  The main window runs it on a worker
    // thread behind a progress bar and returns when it is done, rethrowing what the job threw;
    // without a runner (tests, the command line) the job runs in place.  The job must touch
    // only objects no one else uses meanwhile.
    std::function<void(const std::string& label, const std::function<void()>& job)> job_runner;
    void run_job(const std::string& label, const std::function<void()>& job) {
        if (job_runner)
            job_runner(label, job);
        else
            job();
    }

    // Acquiring exactly while Start is disabled.
    bool acquiring() const { return !window.A_Start.enabled; }

    // Replaces the data set by a new empty one and attaches the views to it before the old
    // one is destroyed, so no view ever holds a pointer to a destroyed data set.
    HYP_Data& replace_data(ViewHub& views) {
        auto fresh = std::make_unique<HYP_Data>();
        views.AttachData(fresh.get());
        data.swap(fresh);
        return *data;
    }
};

// The services a controller needs, handed over together.
struct AppContext {
    Workspace& ws;
    UserDialogs& dialogs;
    ViewHub& views;
    Clock& clock;
};
