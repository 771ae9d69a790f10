#include "acquisition_controller.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include <QCoreApplication>
#include <QTimer>

#include "acquisition_setup.h"
#include "flw_reader.h"
#include "hyp_reader.h"
#include "text.h"

namespace {

const char* const kWaitingForData = "Waiting for data...";
const char* const kDataFilter = "All Files (*.*)|*.*";

// How often the port is read beside the tick; a fast line brings a few kilobytes meanwhile.
constexpr int kPortReadMs = 20;
// At most this many reads (of the reader's block size) per call, so the screen keeps up.
constexpr int kPortReadsPerCall = 64;

// Room for three days of records at four a second.  Only address space is taken until records
// arrive, and the tick never has to move a day's worth of records to a larger list.
constexpr std::size_t kRecordsReserved = std::size_t(1) << 20;

} // namespace

ReaderFactory default_reader_factory() {
    return [](DeviceKind kind) -> std::unique_ptr<parent_reader> {
        if (kind == DeviceKind::FLW)
            return std::make_unique<flw_reader>();
        return std::make_unique<hyp_reader>();
    };
}

AcquisitionController::AcquisitionController(AppContext ctx, ReaderFactory factory)
    : ctx_(ctx), factory_(std::move(factory)) {}

AcquisitionController::~AcquisitionController() = default;

// ---------------------------------------------------------------------------------------------
// Names and labels

std::string AcquisitionController::default_acquired_name(int instrument_type, std::uint32_t serial,
                                                         const std::tm& local) {
    std::string name = instrument_type == 1 ? "hyp_" : "flw_";
    name += std::to_string(serial);
    name += '_';
    name += time_stamp_for_name(local);
    name += ".dat";
    return name;
}

std::string AcquisitionController::default_acquired_name() const {
    return default_acquired_name(static_cast<int>(ctx_.ws.data->instrument_type),
                                 ctx_.ws.reader->dev.serial_number, ctx_.clock.local_time());
}

std::string AcquisitionController::size_label(std::uintmax_t bytes) {
    if (bytes < 1024)
        return "File size: " + std::to_string(bytes) + " bytes";
    if (bytes <= 1048575)
        return "File size: " + std::to_string(bytes / 1024) + " KB";
    return "File size: " + text::format_fixed(double(bytes) / 1048576.0, 1) + " MB";
}

std::string AcquisitionController::clock_label(const std::tm& t) {
    // English names whatever the user's locale, as the label has always read.
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %d", days[(t.tm_wday % 7 + 7) % 7],
                  months[(t.tm_mon % 12 + 12) % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                  t.tm_year + 1900);
    return buf;
}

// ---------------------------------------------------------------------------------------------
// Readers

std::unique_ptr<parent_reader> AcquisitionController::make_reader(DeviceKind kind) {
    std::unique_ptr<parent_reader> reader = factory_(kind);
    reader->status_sink = std::make_unique<PanelStatusSink>(panel);
    return reader;
}

void AcquisitionController::install_reader(std::unique_ptr<parent_reader> fresh) {
    if (reader_replaced)
        reader_replaced(fresh.get());
    std::swap(ctx_.ws.reader, fresh);
    // `fresh` now holds the old reader, destroyed here, after nobody refers to it.
}

void AcquisitionController::set_timer1(bool on) {
    if (timer1_ == on)
        return;
    timer1_ = on;
    if (on && !portTimer_ && QCoreApplication::instance() != nullptr) {
        portTimer_ = std::make_unique<QTimer>();
        portTimer_->setInterval(kPortReadMs);
        QObject::connect(portTimer_.get(), &QTimer::timeout, [this] { ReadPort(); });
    }
    if (portTimer_) {
        if (on)
            portTimer_->start();
        else
            portTimer_->stop();
    }
    if (timer1_changed)
        timer1_changed(on);
}

void AcquisitionController::ReadPort() {
    if (!timer1_)
        return;
    parent_reader& reader = *ctx_.ws.reader;
    for (int i = 0; i < kPortReadsPerCall; ++i) {
        const std::size_t before = reader.raw_bytes.size();
        try {
            reader.poll();
        } catch (...) {
            return; // decoding failures never stop an acquisition; the tick reads on
        }
        note_start();
        if (reader.raw_bytes.size() == before)
            return;
    }
}

void AcquisitionController::note_start() {
    HYP_Data& data = *ctx_.ws.data;
    if (!data.start_utc && (ctx_.ws.reader->decoded_count > 0 || !data.records.empty()))
        data.start_utc = ctx_.clock.now_ms();
}

// ---------------------------------------------------------------------------------------------
// Panel commands

void AcquisitionController::B_DeviceClick() {
    std::optional<std::string> path =
        ctx_.dialogs.open_file("Choose Device File", "Device Files (*.dev)|*.DEV|All Files|*.*");
    if (!path)
        return;
    ctx_.ws.E_Device = *path;
    ctx_.ws.reg.devfile = *path;
    ctx_.ws.reg.Save();
}

void AcquisitionController::SavePortAndDeviceSettings() {
    ctx_.ws.reg.commport = static_cast<std::int16_t>(ctx_.ws.UD_Port);
    ctx_.ws.reg.devfile = ctx_.ws.E_Device;
    ctx_.ws.reg.Save();
}

void AcquisitionController::UpDown2Click(bool up) {
    Workspace& ws = ctx_.ws;
    if (!ws.dataValid)
        return;
    const std::optional<double> w =
        ProcessingOptions::stepped_reference(ws.data->a_wavelengths, ws.data->scat_ref_a, up);
    if (!w)
        return;
    ws.preview.E_ScatWL = ProcessingOptions::wavelength_text(*w);
    ApplyCorrectionOptions();
}

void AcquisitionController::E_ScatWLKeyDown2(int key) {
    Workspace& ws = ctx_.ws;
    if (key != 13 || !ws.dataValid)
        return;
    ws.data->set_scat_ref(text::parse_typed_number(ws.preview.E_ScatWL));
    ApplyCorrectionOptions();
}

void AcquisitionController::ApplyCorrectionOptions() {
    if (apply_correction_options)
        apply_correction_options();
    else
        ApplyPreviewOptions();
}

void AcquisitionController::ApplyPreviewOptions() {
    Workspace& ws = ctx_.ws;
    HYP_Data& data = *ws.data;
    if (data.records.empty())
        return;
    const double w = preview_processing_options(ws.preview, data).apply_to(data);
    ws.preview.E_ScatWL = ProcessingOptions::wavelength_text(w);
    ctx_.views.Refresh();
}

void AcquisitionController::Timer2Timer() {
    panel.L_Clock = clock_label(ctx_.clock.local_time());
}

// ---------------------------------------------------------------------------------------------
// Start and Stop

void AcquisitionController::B_StartClick() {
    Workspace& ws = ctx_.ws;
    if (ws.window.tab_index != 0 || !ws.begin_start())
        return;
    // Every way out before the port is open leaves the session idle and the controls as they were.
    struct Unstarted {
        Workspace& ws;
        ~Unstarted() {
            if (ws.session() == SessionState::Starting)
                ws.start_failed();
        }
    } unstarted{ws};

    // The new data set and reader are built aside and put in place only once the port is
    // open: a device file or port that fails leaves the previous data and capture untouched.
    const std::string path = ws.E_Device;
    std::unique_ptr<HYP_Data> data;
    std::unique_ptr<parent_reader> reader;
    DeviceKind kind = DeviceKind::HYP;
    try {
        data = std::make_unique<HYP_Data>();
        kind = peek_device_kind(path) == DeviceKind::FLW ? DeviceKind::FLW : DeviceKind::HYP;
        reader = make_reader(kind);
        data->instrument_type = kind == DeviceKind::FLW ? InstrumentType::FLW : InstrumentType::HYP;
        reader->open_device_file(path);
        devfile& dev = reader->dev;
        if (dev.factory_cal_unparsed) {
            panel.L_FacCalTemp = "Unable to parse Factory Temperature Calibration";
            double value = fac_cal_value_;
            const int result = ctx_.dialogs.fac_cal_query(value);
            if (result == mrFacCalCancelled)
                return; // nothing has been started, so the tool simply stays idle
            if (result == mrFacCalValue) {
                fac_cal_value_ = value;
                dev.factory_cal_temp = static_cast<float>(value);
            }
        }
        panel.L_FacCalTemp =
            "Device File Calibration Temp: " + text::format_fixed(dev.factory_cal_temp, 1);

        // The channel description, coefficients and reference channels come from the device
        // file alone, so they are set up before the port is touched.
        setup_data_from_devfile(*data, dev);
        data->instrument_type = kind == DeviceKind::FLW ? InstrumentType::FLW : InstrumentType::HYP;
        data->serial_number = static_cast<std::int32_t>(dev.serial_number);
        data->fac_cal_temp = dev.factory_cal_temp;
        data->records.clear();
        data->records.reserve(kRecordsReserved);
        data->temp_source = TempSource::Constant;
        data->saln_source = SalnSource::Constant;
        data->setup_ts_coefs();
        data->set_scat_ref(715);
        data->do_water = data->do_temp = data->do_saln = data->do_scat = false;
        data->ctd_merged = false;
    } catch (const std::exception& e) {
        ctx_.dialogs.message(with_path(e.what(), path), "");
        return;
    }

    const int port = ws.UD_Port;
    ws.reg.commport = static_cast<std::int16_t>(port);
    try {
        reader->set_port(port);
        reader->start();
    } catch (const std::exception& e) {
        ctx_.dialogs.message(e.what(), "Comm Error");
        return;
    }

    // The port is open: the new reader and data set replace the old ones.
    install_reader(std::move(reader));
    ctx_.views.AttachData(data.get());
    ws.data.swap(data);
    data.reset();
    ws.allow_corrections(true);
    lastByteCount_ = 0;

    ws.window.caption.clear();
    set_timer1(true);
    ws.lastActivity = ctx_.clock.now_seconds();
    ws.dataValid = true;
    ws.window.A_ReferenceSpectra.enabled = kind == DeviceKind::FLW;
    ws.started();

    ctx_.views.SetLiveMode(true);
    ws.post.E_HYPFile = "(Collecting data--please don't use until finished)";
    ws.acqState = WaitingForData;
}

void AcquisitionController::B_StopClick() {
    Workspace& ws = ctx_.ws;
    ws.begin_stop();
    try {
        ws.reader->stop();
    } catch (...) {
        // a port that will not close is of no further use either way
    }
    set_timer1(false);
    finish_stream(*ws.reader); // a complete final record has no following sync to wait for
    sync_records();

    HYP_Data& data = *ws.data;
    if (!ws.contSaveFile.empty()) {
        data.do_water = data.do_temp = data.do_saln = data.do_scat = false;
        data.const_temp = 0;
        data.const_saln = 0;
        data.water_cal_temp = 0;
        // fac_cal_temp keeps the device file's value: temperature corrections of these records
        // are referred to it, as they are when the saved file is loaded again.
        append_continuous(); // whatever arrived since the last running tick
        data.corrected_records = data.records;
        data.close_continuous();
        ws.post.E_HYPFile = ws.contSaveFile.empty() ? "(data not saved)" : ws.contSaveFile;
    } else {
        ws.post.E_HYPFile = "(data not saved)";
    }
    ws.acquired_file = ws.contSaveFile;
    ws.acqState = WaitingForData;
    ws.contSaveFile.clear();
    panel.L_Progress.clear();
    ws.stopped();

    ctx_.views.SetLiveMode(false);
    ctx_.views.AttachData(ws.data.get());
}

// ---------------------------------------------------------------------------------------------
// The tick

void AcquisitionController::sync_records() {
    note_start();
    // Moved, not copied: the reader keeps none of the records it has handed over.
    take_decoded_records(*ctx_.ws.data, *ctx_.ws.reader);
}

void AcquisitionController::copy_preview_into_data() {
    Workspace& ws = ctx_.ws;
    HYP_Data& data = *ws.data;
    data.do_temp = ws.preview.CB_Temp;
    data.do_saln = ws.preview.CB_Saln;
    data.const_temp = text::parse_typed_number(ws.preview.E_Temp);
    data.const_saln = text::parse_typed_number(ws.preview.E_Saln);
    data.temp_source = TempSource::Constant;
    data.saln_source = SalnSource::Constant;
}

void AcquisitionController::Timer1Timer() {
    if (!timer1_)
        return; // a tick already queued when Stop switched the timer off
    Workspace& ws = ctx_.ws;
    const std::int64_t now = ctx_.clock.now_seconds();
    try {
        ws.reader->poll();
    } catch (...) {
        // decoding failures never stop an acquisition
    }
    sync_records();
    copy_preview_into_data();

    const std::int64_t elapsed = std::llabs(ws.lastActivity - now);
    switch (ws.acqState) {
    case WaitingForData:
        if (!ws.reader->raw_bytes.empty()) {
            ws.acqState = CheckingStream;
            ws.lastActivity = now;
            return;
        }
        panel.L_Progress = kWaitingForData;
        if (elapsed > 20) {
            ws.acqState = Paused;
            if (ctx_.dialogs.message("Device timed out.  Continue waiting?", "No data yet...",
                                     true) == mrOk) {
                ws.acqState = WaitingForData;
                ws.lastActivity = ctx_.clock.now_seconds();
            } else {
                B_StopClick();
            }
        }
        return;
    case Paused:
        return;
    case OpenOutputFile:
        tick_open_output_file(now);
        return;
    case CheckingStream:
        tick_checking_stream(now, elapsed);
        return;
    case StreamLost:
        B_StopClick();
        return;
    case Running:
        tick_running(now, elapsed);
        return;
    default:
        ws.lastActivity = now;
        ws.acqState = Running;
        return;
    }
}

void AcquisitionController::tick_checking_stream(std::int64_t, std::int64_t elapsed) {
    Workspace& ws = ctx_.ws;
    if (elapsed > 30) {
        ws.acqState = Paused;
        if (ctx_.dialogs.message("Unable to parse data.  Keep trying?",
                                 "Looks like gobbledy gook to me", true) == mrOk) {
            ws.lastActivity = ctx_.clock.now_seconds();
            ws.acqState = CheckingStream;
        } else {
            B_StopClick();
            return;
        }
    }
    const parent_reader& reader = *ws.reader;
    if (reader.instrument_serial == -1)
        return;
    if (reader.wavelength_count != static_cast<std::int64_t>(reader.dev.a_wl.size())) {
        ws.acqState = Paused;
        ctx_.dialogs.message(
            "The number of wavelengths this device outputs does not match the number of "
            "wavelengths specified in the device file.  Please find the appropriate device file "
            "and try again.",
            "Odds are it's a device file mismatch");
        B_StopClick();
    } else if (static_cast<std::int64_t>(reader.instrument_serial) ==
               static_cast<std::int64_t>(reader.dev.serial_number)) {
        ws.acqState = OpenOutputFile;
    } else {
        ws.acqState = Paused;
        ctx_.dialogs.message(
            "The serial number of the device does not match the serial number of the device "
            "file.",
            "Serial number mismatch");
        B_StopClick();
    }
}

bool AcquisitionController::begin_continuous_saving(const std::string& path) {
    Workspace& ws = ctx_.ws;
    HYP_Data& data = *ws.data;
    try {
        data.open_continuous(path);
    } catch (const VelmoraError&) {
        // reported below like a file that silently failed to open
    }
    if (!data.continuous_open()) {
        ws.contSaveFile.clear();
        panel.L_SizeOfFile.clear();
        ctx_.dialogs.message(with_path(kContOpenFailed, path), "");
        return false;
    }
    ws.contSaveFile = path;
    ws.window.caption = path;
    return true;
}

void AcquisitionController::tick_open_output_file(std::int64_t now) {
    Workspace& ws = ctx_.ws;
    ws.lastActivity = now;
    ws.acqState = Running;
    const std::string proposed = default_acquired_name();
    ws.contSaveFile.clear();
    std::optional<std::string> path = ctx_.dialogs.save_file("", kDataFilter, proposed);
    if (path)
        begin_continuous_saving(*path);
    else
        panel.L_SizeOfFile.clear();
    ws.data->file_name = path ? *path : proposed;
}

void AcquisitionController::tick_running(std::int64_t now, std::int64_t elapsed) {
    Workspace& ws = ctx_.ws;
    if (ws.data->records.empty())
        return;
    const std::uint64_t size = ws.reader->raw_bytes.size();
    if (size == lastByteCount_) {
        if (elapsed > 10) {
            ws.acqState = Paused;
            ctx_.dialogs.message("Device timed out.  Did it get disconnected?",
                                 "It stopped giving me data....");
            ws.acqState = StreamLost;
        }
        return;
    }
    lastByteCount_ = size;
    ws.lastActivity = now;

    if (ws.window.M_AutoTemp.checked && !ws.reader->packets.empty()) {
        const double t = ws.reader->packets.back().external_temperature;
        if (std::isfinite(t)) // the FLW model carries no external temperature
            ws.preview.E_Temp = text::format_g(t, 15);
    }
    ctx_.views.NewRecords();
    ApplyCorrectionOptions();

    if (!ws.contSaveFile.empty())
        append_continuous();
}

void AcquisitionController::append_continuous() {
    Workspace& ws = ctx_.ws;
    HYP_Data& data = *ws.data;
    if (!data.continuous_open())
        return;
    try {
        data.append_continuous();
    } catch (const VelmoraError& e) {
        const std::string path = ws.contSaveFile;
        data.close_continuous();
        ws.contSaveFile.clear();
        panel.L_SizeOfFile.clear();
        ctx_.dialogs.message(with_path(std::string(e.what()) +
                                           "  Continuous saving has stopped; the records are "
                                           "still kept and can be saved elsewhere.",
                                       path),
                             "");
        return;
    }
    update_size_label();
}

void AcquisitionController::update_size_label() {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(ctx_.ws.contSaveFile, ec);
    if (ec)
        return;
    panel.L_SizeOfFile = size_label(size);
}
