#include "post_process_controller.h"

#include <cctype>
#include <chrono>
#include <exception>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "clock_time.h"
#include "gps.h"
#include "text.h"

std::string drop_last(const std::string& name, std::size_t n) {
    return name.size() < n ? name : name.substr(0, name.size() - n);
}

std::string general_number(double value) {
    return text::format_g(value, 15);
}

InputFileKind classify_input_file(const std::string& path) {
    std::string lower = path;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".wcf") == 0)
        return InputFileKind::Water;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (in && std::getline(in, line) && std::getline(in, line)) {
        std::string_view second = text::chomp(line);
        if (text::starts_with_nocase(second, "Water"))
            return InputFileKind::Water;
        for (const char* kind : {"HYP", "FLW", "Velmora"})
            if (text::starts_with_nocase(second, kind))
                return InputFileKind::Data;
    }
    if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".dat") == 0)
        return InputFileKind::Data;
    return InputFileKind::Ctd;
}

void PostProcessController::B_OpenHYPClick() {
    auto path = ctx_.dialogs.open_file("Open ac file", ctx_.ws.window.open_filter);
    if (!path)
        return;
    LoadDataFile(*path);
}

bool PostProcessController::LoadDataFile(const std::string& path) {
    Workspace& ws = ctx_.ws;
    // The new data set is filled off to the side and only put in place once the load is over:
    // the views never see a half-read data set, and a worker thread never shares one.
    auto fresh = std::make_unique<HYP_Data>();
    std::string text, caption;
    try {
        HYP_Data* target = fresh.get();
        ws.run_job(SessionState::Loading, "Loading " + path,
                   [target, &path] { target->load_file(path, false); });
    } catch (const VelmoraError& e) {
        text = e.what();
        caption = "Error Opening File";
    } catch (const std::exception& e) {
        text = e.what();
        caption = "Exception";
    } catch (...) {
        text = "Unable to catch exception";
        caption = "Unknown error occured";
    }
    if (!caption.empty()) {
        // The old data set is gone as after a load; the views hold the new, empty one.
        ws.replace_data(ctx_.views);
        ws.dataValid = false;
        ctx_.dialogs.message(with_path(text, path), caption);
        return false;
    }

    ctx_.views.AttachData(fresh.get());
    ws.data.swap(fresh);
    fresh.reset();
    HYP_Data& d = *ws.data;

    ws.dataValid = true;
    ws.post.E_HYPFile = path;
    d.temp_source = TempSource::Constant;
    d.saln_source = SalnSource::Constant;
    d.do_water = d.do_temp = d.do_saln = d.do_scat = false;

    ctx_.views.SetLiveMode(false);

    ws.window.A_SaveFromDevice.enabled = false;
    ws.window.A_Depth.enabled = false;
    ws.window.A_SaveBinary.enabled = false;
    d.ctd_loaded = false;
    ws.window.caption = ws.post.E_HYPFile;

    ws.post.E_CTDFile.clear();
    ws.post.E_GPSFile.clear();
    ws.ctd_lag_estimate_s.reset();
    ws.post.B_LoadGPS_enabled = true;
    ws.post.PD_Saln = 0;
    ws.post.PD_Temp = 0;
    ws.post.E_Temp_visible = true;
    ws.post.E_Saln_visible = true;

    ws.window.A_LoadCTD.enabled = true;
    ws.window.A_ReferenceSpectra.enabled = false;
    ws.post.B_LoadWater_enabled = true;
    ws.post.CB_Water = false;
    ws.post.CB_Water_visible = false;
    ws.post.E_Water.clear();
    ws.post.L_WaterTemp.clear();

    // A file of corrected data is shown as it is: correcting it again would apply the
    // corrections twice, and its header would claim what was not done.
    ws.allow_corrections(d.instrument_type != InstrumentType::Processed);
    if (!ws.post.corrections_enabled)
        ws.window.status = kAlreadyCorrectedNote;

    ApplyCorrectionOptions();
    return true;
}

void PostProcessController::B_OpenCTDClick() {
    if (!ctx_.ws.window.A_LoadCTD.enabled)
        return;
    auto path = ctx_.dialogs.open_file("Open CTD file", ctx_.ws.window.open_filter);
    if (!path)
        return;
    LoadCtdFile(*path);
}

bool PostProcessController::LoadCtdFile(const std::string& path) {
    Workspace& ws = ctx_.ws;
    if (!ws.window.A_LoadCTD.enabled || !ws.post.corrections_enabled)
        return false;

    CtdColumns cols{ws.reg.ctd_time, ws.reg.ctd_pres, ws.reg.ctd_temp, ws.reg.ctd_saln};
    cols.time_format = ctd_time_format_named(ws.reg.ctd_time_format).value_or(CtdTimeFormat::Ms);
    // The lag the dialog starts from; a lag accepted from the time-shift tool goes into
    // reg.ctd_lag_s (seconds, + when the CTD times must move later) to be offered here.
    cols.lag_s = ws.reg.ctd_lag_s;
    cols.lag_estimate_s = ws.ctd_lag_estimate_s;
    int result = mrCancel;
    try {
        result = ctx_.dialogs.load_ctd_columns(path, cols);
    } catch (const VelmoraError& e) {
        ctx_.dialogs.message(with_path(e.what(), path), "Error opening file");
        return false;
    } catch (...) {
        ctx_.dialogs.message("Internal Error.  0x0015.", "Error opening window.");
        return false;
    }
    if (result != mrOk)
        return false;

    // The dialog's OK remembers the accepted columns.
    ws.reg.ctd_time = cols.time;
    ws.reg.ctd_temp = cols.temp;
    ws.reg.ctd_pres = cols.pres;
    ws.reg.ctd_saln = cols.saln;
    ws.reg.ctd_time_format = std::string(name_of(cols.time_format));
    ws.reg.ctd_lag_s = cols.lag_s;
    ws.reg.Save();
    return MergeCtdFile(path, cols);
}

bool PostProcessController::MergeCtdFile(const std::string& path, const CtdColumns& cols,
                                         std::optional<double> max_gap_s) {
    Workspace& ws = ctx_.ws;
    if (!ws.window.A_LoadCTD.enabled || !ws.post.corrections_enabled)
        return false;
    HYP_Data& d = *ws.data;
    if (is_clock_time(cols.time_format) && !d.start_utc) {
        ctx_.dialogs.message(kCtdNeedsStartTime, "");
        return false;
    }
    const CtdTimeBase time{cols.time_format, cols.lag_s, d.start_utc};
    std::size_t skipped = 0;
    // A read or merge that fails ends the command after its message: the merge needs samples.
    try {
        ws.run_job(SessionState::Loading, "Reading " + path, [&d, &path, cols, &time, &skipped] {
            skipped =
                d.ctd_file.read_ctd_file(path, cols.time, cols.temp, cols.saln, cols.pres, time);
        });
    } catch (const std::exception& e) {
        ctx_.dialogs.message(with_path(e.what(), path), "");
        return false;
    }

    ws.post.E_CTDFile = path;
    d.ctd_loaded = true;
    // What a recipe saved now says of the CTD log.
    ws.processing.ctd = ProcessingOptions::Ctd{};
    ws.processing.ctd.file = path;
    ws.processing.ctd.columns = {cols.time, cols.pres, cols.temp, cols.saln};
    ws.processing.ctd.time_format = cols.time_format;
    ws.processing.ctd.lag_s = cols.lag_s;
    ws.processing.ctd.max_gap_s = max_gap_s;
    // Clock times: records with no sample within 60 s (or the gap given) get NaN.
    const std::optional<double> gap_s = ctd_max_gap_s(cols.time_format, max_gap_s);
    std::size_t far_records = 0;
    try {
        far_records = d.merge_ctd(gap_s ? std::optional<double>(*gap_s * 1000.0) : std::nullopt);
    } catch (const std::exception& e) {
        ctx_.dialogs.message(with_path(e.what(), path), "");
        return false;
    }
    // Without a limit the numbers stay as merged; the user learns which records had no sample
    // near them.
    std::string notes = skipped > 0 ? ctd_skipped_report(skipped) : std::string();
    if (far_records > 0)
        notes += (notes.empty() ? "" : "  ") +
                 (gap_s ? ctd_nan_report(far_records, *gap_s) : ctd_gap_report(far_records));
    if (!notes.empty())
        ws.window.status = notes;

    ws.post.PD_Temp_items = {"Constant", "CTD File", "Onboard Sensors"};
    ws.post.PD_Saln_items = {"Constant", "CTD File"};
    ws.post.PD_Temp = 1;
    ws.post.PD_Saln = 1;
    ws.post.E_Temp_visible = false;
    ws.post.E_Saln_visible = false;
    ws.post.CB_Temp = true;
    ws.post.CB_Saln = true;

    ws.window.A_Depth.enabled = true;
    ApplyCorrectionOptions();
    return true;
}

void PostProcessController::B_LoadWaterClick() {
    Workspace& ws = ctx_.ws;
    if (!ws.post.B_LoadWater_enabled)
        return;
    auto path =
        ctx_.dialogs.open_file("Open Water Blank", "Water Calibration Files|*.wcf|All Files|*.*");
    ws.window.open_filter = "All Files|*.*";
    if (!path)
        return;
    LoadWaterFile(*path);
}

bool PostProcessController::LoadWaterFile(const std::string& path) {
    Workspace& ws = ctx_.ws;
    if (!ws.post.B_LoadWater_enabled || !ws.post.corrections_enabled)
        return false;
    HYP_Data& d = *ws.data;
    // A failed load leaves the panel as it was.
    try {
        ws.run_job(SessionState::Loading, "Loading " + path,
                   [&d, &path] { d.load_file(path, true); });
    } catch (const VelmoraError& e) {
        ctx_.dialogs.message(with_path(e.what(), path), "Error loading file");
        return false;
    } catch (...) {
        ctx_.dialogs.message(with_path("Unable to open file.", path), "Error opening file.");
        return false;
    }

    ws.post.L_WaterTemp =
        "Water Calibration Temperature: " + text::format_fixed(d.water_cal_temp, 1);
    ws.post.L_WaterTemp_visible = true;
    ws.post.E_Water = path;
    ws.post.CB_Water_visible = true;
    ws.post.CB_Water = true;
    ApplyCorrectionOptions();
    return true;
}

void PostProcessController::B_LoadGPSClick() {
    if (!ctx_.ws.post.B_LoadGPS_enabled)
        return;
    auto path =
        ctx_.dialogs.open_file("Open GPS log", "NMEA Logs|*.nmea;*.txt;*.log|All Files|*.*");
    if (!path)
        return;
    LoadGpsFile(*path);
}

bool PostProcessController::LoadGpsFile(const std::string& path) {
    Workspace& ws = ctx_.ws;
    if (!ws.dataValid || !ws.post.B_LoadGPS_enabled || !ws.post.corrections_enabled)
        return false;
    HYP_Data& d = *ws.data;
    if (!d.start_utc) {
        ctx_.dialogs.message(kGpsNeedsStartTime, "Error loading file");
        return false;
    }
    // A log that cannot be merged leaves the positions as they were.
    std::size_t skipped = 0;
    try {
        ws.run_job(SessionState::Loading, "Reading " + path,
                   [&d, &path, &skipped] { skipped = d.merge_gps(path); });
    } catch (const std::exception& e) {
        ctx_.dialogs.message(with_path(e.what(), path), "Error loading file");
        return false;
    }
    ws.post.E_GPSFile = path;
    if (skipped > 0)
        ws.window.status = nmea_skip_report(skipped);
    ctx_.views.Refresh();
    return true;
}

std::string PostProcessController::DefaultCorrectedName() const {
    return drop_last(ctx_.ws.data->file_name, 4) + "_corrected_" +
           time_stamp_for_name(ctx_.clock.local_time()) + ".dat";
}

void PostProcessController::B_SavePostClick() {
    Workspace& ws = ctx_.ws;
    if (!ws.post.B_Save_enabled || !ws.post.corrections_enabled)
        return;
    auto path = ctx_.dialogs.save_file("Save corrected data", ws.window.save_filter,
                                       DefaultCorrectedName());
    if (!path)
        return;
    // Errors of the correction or the writer go to the top-level report, with the file's path.
    HYP_Data& d = *ws.data;
    try {
        naming_file(*path, [&] {
            ws.run_cancellable_job(SessionState::Saving, "Saving " + *path, [&ws, &d, &path] {
                d.fill_corrected_records();
                ws.job_checkpoint();
                d.save_corrected(*path, true, false);
            });
        });
    } catch (const JobCancelled&) {
        ws.window.status = "Save cancelled; no file was written.";
        return;
    }
    ws.window.status = written_files_status({*path});
}

void PostProcessController::ApplyCorrectionOptions() {
    Workspace& ws = ctx_.ws;
    HYP_Data& d = *ws.data;
    if (d.records.empty())
        return;

    ProcessingOptions o = ProcessingOptions::from(d);
    std::string* reference_field = nullptr;
    if (ws.window.tab_index == 0) {
        o = preview_processing_options(ws.preview, d);
        reference_field = &ws.preview.E_ScatWL;
    } else if (ws.window.tab_index == 1) {
        PostPanelState& p = ws.post;
        apply_post_panel_fields(p, o);
        reference_field = &p.E_ScatWL;

        switch (p.PD_Temp) {
        case 0:
            o.temperature.source = TempSource::Constant;
            break;
        case 1:
            if (d.ctd_merged) {
                o.temperature.source = TempSource::CTD;
            } else {
                p.PD_Temp = 0;
                p.E_Temp_visible = true;
                o.temperature.source = TempSource::Constant;
            }
            break;
        case 2:
            o.temperature.source = TempSource::Onboard;
            break;
        default:
            throw VelmoraError("my lunch");
        }

        switch (p.PD_Saln) {
        case 0:
            o.salinity.source = SalnSource::Constant;
            break;
        case 1:
            if (d.ctd_merged) {
                o.salinity.source = SalnSource::CTD;
            } else {
                p.PD_Saln = 0;
                p.E_Saln_visible = true;
                o.salinity.source = SalnSource::Constant;
            }
            break;
        case 2:
            break; // the data set's own source stays
        default:
            throw VelmoraError("my lunch");
        }

        // A data set without onboard temperatures refuses that source: the user is told, and
        // the constant is used instead.
        if (o.temperature.source == TempSource::Onboard && !d.has_onboard_temperature()) {
            ctx_.dialogs.message(kNoOnboardTemperature, "");
            p.PD_Temp = 0;
            p.E_Temp_visible = true;
            o.temperature.source = TempSource::Constant;
        }
    }
    if (!ws.post.corrections_enabled)
        o.temperature.apply = o.salinity.apply = o.scattering.apply = o.water.apply = false;
    const double w = o.apply_to(d);
    if (reference_field)
        *reference_field = ProcessingOptions::wavelength_text(w);
    ctx_.views.Refresh();
}

void PostProcessController::PD_TempChange(int index) {
    ctx_.ws.post.PD_Temp = index;
    ctx_.ws.post.E_Temp_visible = index != 1;
    ApplyCorrectionOptions();
}

void PostProcessController::PD_SalnChange(int index) {
    ctx_.ws.post.PD_Saln = index;
    ctx_.ws.post.E_Saln_visible = index != 1;
    ApplyCorrectionOptions();
}

void PostProcessController::StepReferenceWavelength(std::string& field, bool up) {
    Workspace& ws = ctx_.ws;
    if (!ws.dataValid)
        return;
    const std::optional<double> w =
        ProcessingOptions::stepped_reference(ws.data->a_wavelengths, ws.data->scat_ref_a, up);
    if (!w)
        return;
    field = ProcessingOptions::wavelength_text(*w);
    ApplyCorrectionOptions();
}

void PostProcessController::EnterReferenceWavelength(std::string& field, int key) {
    if (key != 13 || !ctx_.ws.dataValid)
        return;
    ctx_.ws.data->set_scat_ref(text::parse_typed_number(field));
    ApplyCorrectionOptions();
}

void PostProcessController::UpDown1Click(bool up) {
    StepReferenceWavelength(ctx_.ws.post.E_ScatWL, up);
}

void PostProcessController::E_ScatWLKeyDown1(int key) {
    EnterReferenceWavelength(ctx_.ws.post.E_ScatWL, key);
}

std::string start_time_label(const Workspace& ws) {
    if (!ws.dataValid)
        return {};
    if (!ws.data->start_utc)
        return "start time unknown";
    return "start time " + clock_time::format_iso(*ws.data->start_utc);
}

namespace {

// The modification time of a file, ms since 1970; nothing when it has none to give.
std::optional<std::int64_t> modified_ms(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec))
        return std::nullopt;
    const std::filesystem::file_time_type t = std::filesystem::last_write_time(path, ec);
    if (ec)
        return std::nullopt;
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::file_clock::to_sys(t).time_since_epoch())
        .count();
}

} // namespace

void PostProcessController::M_SetStartTimeClick() {
    Workspace& ws = ctx_.ws;
    if (ws.acquiring() || !ws.dataValid)
        return; // an acquisition sets its own start at its first record
    HYP_Data& data = *ws.data;
    std::optional<std::int64_t> proposed = data.start_utc;
    if (!proposed)
        proposed = modified_ms(ws.post.E_HYPFile);
    if (!proposed)
        proposed = modified_ms(data.file_name);
    const std::optional<std::int64_t> start =
        ctx_.dialogs.start_time(proposed ? *proposed : ctx_.clock.now_ms());
    if (start)
        data.start_utc = start;
}
