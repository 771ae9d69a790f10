// Live acquisition from the "Data Acquisition" tab: Start and Stop, the 100 ms tick with its
// time-outs and stream checks, continuous saving, the one-second clock and the acquisition
// panel's own commands.  No widgets: TFr_RealTime and TF_Main mirror `panel` and the
// workspace's state onto the screen and forward the user's clicks here.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "app_services.h"
#include "devfile.h"
#include "parent_reader.h"

// The acquisition panel (TFr_RealTime) apart from the port number, the device file field, the
// controls that follow the session and the preview options, which live in the workspace (the
// settings, the session and ApplyCorrectionOptions set or read them).
struct RealTimePanelState {
    // "Information and Statistics"
    std::string L_Clock;
    std::string L_TimeStamp;
    std::string L_Serial;
    std::string L_FacCalTemp;
    std::string L_Progress;
    std::string L_InternalTemp;
    std::string L_ExternalTemp;
    std::string L_DevFileTempCal;
    std::string L_SizeOfFile;
};

// Values of the workspace's acqState.
enum AcqState : int {
    WaitingForData = 0, // port open, no byte received yet
    Paused = 1,         // a question is on screen or the acquisition has been given up
    OpenOutputFile = 2, // the stream matches the device file; ask for the continuous file
    CheckingStream = 3, // bytes arrive; waiting for a first record header
    StreamLost = 4,     // data stopped arriving; the next tick stops
    Running = 99,
};

// Makes the reader for a device file of the given kind (anything but FLW reads as HYP).
using ReaderFactory = std::function<std::unique_ptr<parent_reader>(DeviceKind)>;
ReaderFactory default_reader_factory();

// The reader's status sink: writes the five reader labels of the acquisition panel.
class PanelStatusSink : public ACR_Helper {
  public:
    explicit PanelStatusSink(RealTimePanelState& panel) : panel_(panel) {}
    void show_progress(const std::string& s) override { panel_.L_Progress = s; }
    void show_internal_temp(const std::string& s) override { panel_.L_InternalTemp = s; }
    void show_external_temp(const std::string& s) override { panel_.L_ExternalTemp = s; }
    void show_serial(const std::string& s) override { panel_.L_Serial = s; }
    void show_time_stamp(const std::string& s) override { panel_.L_TimeStamp = s; }

  private:
    RealTimePanelState& panel_;
};

class QTimer;

class AcquisitionController {
  public:
    explicit AcquisitionController(AppContext ctx,
                                   ReaderFactory factory = default_reader_factory());
    ~AcquisitionController();
    AcquisitionController(const AcquisitionController&) = delete;
    AcquisitionController& operator=(const AcquisitionController&) = delete;

    RealTimePanelState panel;

    // Hooks the main window may set.
    // ApplyCorrectionOptions of the post-processing workflow (it reads whichever panel is
    // active); unset, the preview options of this panel are applied (ApplyPreviewOptions).
    std::function<void()> apply_correction_options;
    // Called with the new Timer1 state whenever Start or Stop switches it.
    std::function<void(bool)> timer1_changed;
    // Called with the new reader before the old one is destroyed (views that keep a reader).
    std::function<void(parent_reader*)> reader_replaced;

    bool Timer1Enabled() const { return timer1_; }

    // Commands of the panel and the File menu.
    void B_DeviceClick();
    void SavePortAndDeviceSettings();
    void B_StartClick();
    void B_StopClick();
    void Timer1Timer();
    // Reads everything waiting at the port into the capture, where the reader decodes it.
    // While Timer1 runs, a timer of its own calls this every 20 ms (when the program has an
    // event loop): Timer1 stands still while a question or file dialog that its tick opened is
    // on screen, and a line nobody reads drops the instrument's bytes.
    void ReadPort();
    void Timer2Timer();
    void UpDown2Click(bool up);
    void E_ScatWLKeyDown2(int key);

    // Runs the hook, or ApplyPreviewOptions when there is none.
    void ApplyCorrectionOptions();
    // ApplyCorrectionOptions with the "Data Acquisition" tab selected: copies this panel's
    // preview options into the data set, sets the reference channels and refreshes the views.
    void ApplyPreviewOptions();

    // A reader of the device file's kind, with this panel as its status sink.  Used by Start
    // and by the capture replay.
    std::unique_ptr<parent_reader> make_reader(DeviceKind kind);
    // Puts `fresh` in place of the workspace's reader (the hook first, then the swap).
    void install_reader(std::unique_ptr<parent_reader> fresh);

    // Opens the continuous-saving file at `path` (its header, which carries the start time, is
    // written at the first record) and sets contSaveFile and the caption.  A file that cannot be
    // created is reported and continuous saving stays off; returns whether the file is open.
    bool begin_continuous_saving(const std::string& path);
    // Appends the records not yet in the continuous file.  When the system refuses the bytes
    // (a full disk), saving stops with a message; acquisition goes on in memory.
    void append_continuous();

    // "%s_%u_%u%02u%02u%02u%02u%02u.dat": model tag, device serial number, local time.
    static std::string default_acquired_name(int instrument_type, std::uint32_t serial,
                                             const std::tm& local);
    std::string default_acquired_name() const;
    // "File size: ..." for a file of `bytes` bytes.
    static std::string size_label(std::uintmax_t bytes);
    // Mon Mar 09 14:05:07 2009
    static std::string clock_label(const std::tm& local);

    // The texts the tick and Start show.
    static constexpr const char* kContOpenFailed =
        "Unable to open file for saving.  Is this file opened in another program?";

  private:
    void set_timer1(bool on);
    // Moves the records the reader has decoded since the last call into the data set.
    void sync_records();
    // The first decoded record sets the data set's start time: the clock's time now.
    void note_start();
    void copy_preview_into_data();
    void tick_running(std::int64_t now, std::int64_t elapsed);
    void tick_open_output_file(std::int64_t now);
    void tick_checking_stream(std::int64_t now, std::int64_t elapsed);
    void update_size_label();

    AppContext ctx_;
    ReaderFactory factory_;
    bool timer1_ = false;
    std::unique_ptr<QTimer> portTimer_;
    std::uint64_t lastByteCount_ = 0;
    double fac_cal_value_ = 0.0; // last value entered in the factory-temperature query
};
