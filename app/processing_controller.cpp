#include "processing_controller.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "outputs.h"
#include "post_process_controller.h"
#include "products.h"
#include "seabass.h"
#include "text.h"

namespace {

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// The lines after the first of a message (a SeaBASS check's findings).
std::vector<std::string> lines_after_first(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = text.find('\n');
    while (at != std::string::npos) {
        const std::size_t next = text.find('\n', at + 1);
        lines.push_back(text.substr(at + 1, next == std::string::npos ? next : next - at - 1));
        at = next;
    }
    return lines;
}

} // namespace

std::vector<std::string> metadata_keywords() {
    // Dates, times, the file's own name, fields and units are always the writer's.
    std::vector<std::string> out;
    for (const char* k : seabass::kRequiredKeywords)
        if (std::none_of(std::begin(seabass::kWriterKeywords), std::end(seabass::kWriterKeywords),
                         [k](const char* w) { return std::string_view(k) == w; }))
            out.emplace_back(k);
    return out;
}

std::string metadata_text(const std::map<std::string, std::string>& values) {
    std::string s;
    for (const auto& [k, v] : values)
        s += k + "=" + v + "\n";
    return s;
}

std::map<std::string, std::string> metadata_from_text(const std::string& text) {
    std::map<std::string, std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        if (const std::size_t eq = line.find('='); eq != std::string::npos && eq > 0)
            out[line.substr(0, eq)] = line.substr(eq + 1);
        at = end + 1;
    }
    return out;
}

void ProcessingController::RestoreSettings() {
    ctx_.ws.processing.metadata = metadata_from_text(ctx_.ws.reg.seabass_metadata);
}

ProcessingOptions ProcessingController::PanelOptions() const {
    const Workspace& ws = ctx_.ws;
    const HYP_Data& d = *ws.data;
    const PostPanelState& p = ws.post;
    const ProcessingPanelState& s = ws.processing;
    ProcessingOptions o = ProcessingOptions::from(d);
    // A data set not loaded yet holds no options: the panel's fields are the options.
    if (d.records.empty())
        apply_post_panel_fields(p, o);
    if (p.PD_ScatType == kResidualListIndex)
        o.scattering.method = ScatMethod::ResidualTemp;
    if (d.ctd_merged) {
        o.ctd = s.ctd;
    } else {
        // No log merged: the columns and time format the dialog would start from.
        o.ctd = {};
        o.ctd.columns = {ws.reg.ctd_time, ws.reg.ctd_pres, ws.reg.ctd_temp, ws.reg.ctd_saln};
        o.ctd.time_format =
            ctd_time_format_named(ws.reg.ctd_time_format).value_or(CtdTimeFormat::Ms);
        o.ctd.lag_s = ws.reg.ctd_lag_s;
    }
    o.gps.file = d.gps_merged ? d.gps_file_name : std::string();
    o.grid = s.grid.kind == GridKind::Regular ? s.grid : ProcessingOptions::Grid{s.grid.kind};
    o.scattering.residual = s.residual;
    o.qc = s.qc;
    o.binning = s.binning.kind == BinKind::None ? ProcessingOptions::Binning{} : s.binning;
    o.output.text = s.out_text;
    o.output.netcdf = s.out_netcdf;
    o.output.seabass = s.out_seabass;
    o.metadata = s.metadata;
    return o;
}

void ProcessingController::ShowOptions(const ProcessingOptions& o) {
    Workspace& ws = ctx_.ws;
    // Files first: merging a CTD log sets the panel's sources, which the options then set.
    std::vector<std::string> not_loaded;
    const auto note = [&](const char* what, const std::string& path) {
        not_loaded.push_back(std::string(what) + " " + path);
    };
    const bool can_load = ws.dataValid && ws.post.corrections_enabled;
    if (!o.ctd.file.empty()) {
        const HYP_Data& d = *ws.data;
        const bool same = d.ctd_merged && ws.processing.ctd == o.ctd;
        if (!same) {
            const CtdColumns cols{o.ctd.columns.time,        o.ctd.columns.pressure,
                                  o.ctd.columns.temperature, o.ctd.columns.salinity,
                                  o.ctd.time_format,         o.ctd.lag_s};
            if (!can_load || !exists(o.ctd.file) ||
                !post_.MergeCtdFile(o.ctd.file, cols, o.ctd.max_gap_s))
                note("CTD file", o.ctd.file);
        }
    }
    if (!o.water.file.empty()) {
        const HYP_Data& d = *ws.data;
        if (!(d.water_loaded && d.water_file_name == o.water.file)) {
            // The water group is shown with the file it loads.
            if (can_load)
                ws.window.M_WaterCorrections.checked = true;
            if (!can_load || !exists(o.water.file) || !post_.LoadWaterFile(o.water.file))
                note("water file", o.water.file);
        }
    }
    if (!o.gps.file.empty()) {
        const HYP_Data& d = *ws.data;
        if (!(d.gps_merged && d.gps_file_name == o.gps.file))
            if (!can_load || !exists(o.gps.file) || !post_.LoadGpsFile(o.gps.file))
                note("GPS file", o.gps.file);
    }

    PostPanelState& p = ws.post;
    const HYP_Data& d = *ws.data;
    p.CB_Temp = o.temperature.apply;
    p.E_Temp = text::format_g(o.temperature.constant, 15);
    p.PD_Temp = o.temperature.source == TempSource::CTD && d.ctd_merged ? 1
                : o.temperature.source == TempSource::Onboard           ? 2
                                                                        : 0;
    p.E_Temp_visible = p.PD_Temp != 1;
    p.CB_Saln = o.salinity.apply;
    p.E_Saln = text::format_g(o.salinity.constant, 15);
    p.PD_Saln = o.salinity.source == SalnSource::CTD && d.ctd_merged ? 1 : 0;
    p.E_Saln_visible = p.PD_Saln != 1;
    p.CB_ScatCorr = o.scattering.apply;
    p.PD_ScatType = o.scattering.method == ScatMethod::ResidualTemp
                        ? kResidualListIndex
                        : ProcessingOptions::list_index_for_method(o.scattering.method);
    p.E_ScatWL = ProcessingOptions::wavelength_text(o.scattering.reference_nm);
    p.CB_Water = o.water.apply && d.water_loaded;

    ProcessingPanelState& s = ws.processing;
    s.grid = o.grid;
    s.residual = o.scattering.residual;
    s.qc = o.qc;
    s.binning = o.binning;
    if (o.binning.kind == BinKind::Time)
        s.time_bin_width = o.binning.width;
    else if (o.binning.kind == BinKind::Depth)
        s.depth_bin_width = o.binning.width;
    s.out_text = o.output.text;
    s.out_netcdf = o.output.netcdf;
    s.out_seabass = o.output.seabass;
    for (const auto& [k, v] : o.metadata)
        s.metadata[k] = v;

    if (!not_loaded.empty()) {
        std::string text = "The recipe names ";
        for (std::size_t i = 0; i < not_loaded.size(); ++i)
            text += (i ? ", " : "") + not_loaded[i];
        ws.window.status = text + (can_load ? ", which could not be loaded."
                                            : "; load a data file, then the recipe again.");
    }
    CheckResidual();
    ws.window.tab_index = 1;
    post_.ApplyCorrectionOptions();
    Reprocess();
}

void ProcessingController::CheckResidual() {
    ProcessingPanelState& s = ctx_.ws.processing;
    const HYP_Data& d = *ctx_.ws.data;
    if (s.grid.kind == GridKind::Native) {
        s.residual_allowed = false;
        s.residual_reason = kResidualNeedsGrid;
        return;
    }
    if (d.a_wavelengths.empty()) {
        // Nothing loaded: the grid may allow it once data are there.
        s.residual_allowed = true;
        s.residual_reason.clear();
        return;
    }
    const std::vector<double> grid = grid_wavelengths(d.a_wavelengths, d.c_wavelengths, s.grid);
    const auto in_window = std::count_if(grid.begin(), grid.end(), [&](double w) {
        return w >= s.residual.window_lo && w <= s.residual.window_hi;
    });
    s.residual_allowed = in_window >= 3;
    s.residual_reason =
        s.residual_allowed
            ? std::string()
            : "The residual temperature correction needs at least 3 channels between " +
                  text::format_g(s.residual.window_lo, 6) + " and " +
                  text::format_g(s.residual.window_hi, 6) + " nm.";
}

void ProcessingController::Changed() {
    CheckResidual();
    PostPanelState& p = ctx_.ws.post;
    // A grid that no longer allows the residual temperature correction takes the list back to
    // its first method.
    if (!ctx_.ws.processing.residual_allowed && p.PD_ScatType == kResidualListIndex) {
        p.PD_ScatType = 0;
        post_.ApplyCorrectionOptions();
    }
    Reprocess();
}

void ProcessingController::Reprocess() {
    Workspace& ws = ctx_.ws;
    HYP_Data& d = *ws.data;
    const bool had = d.record_products || d.binned_products || !ws.processing.note.empty();
    d.record_products.reset();
    d.binned_products.reset();
    ws.processing.note.clear();
    const ProcessingOptions o = PanelOptions();
    if (!ws.dataValid || d.records.empty() || d.is_processed || !uses_products(o)) {
        if (had)
            ctx_.views.Refresh();
        return;
    }
    ProcessingOptions per_record = o;
    per_record.binning = {};
    std::shared_ptr<ProductTable> records, bins;
    try {
        ws.run_cancellable_job(SessionState::Loading, "Processing " + d.file_name, [&] {
            records = std::make_shared<ProductTable>(make_products(d, per_record));
            // The save fills the corrected records again; the views need only the table.
            std::vector<hyp_data>().swap(d.corrected_records);
            ws.job_checkpoint();
            if (o.binning.kind != BinKind::None)
                bins = std::make_shared<ProductTable>(bin_products(*records, o.binning));
        });
    } catch (const JobCancelled&) {
        ws.processing.note = "Processing cancelled: the plots show the corrections only.";
        ws.window.status = ws.processing.note;
        ctx_.views.Refresh();
        return;
    } catch (const VelmoraError& e) {
        ws.processing.note = e.what();
        ws.window.status = e.what();
        ctx_.views.Refresh();
        return;
    }
    d.record_products = std::move(records);
    d.binned_products = std::move(bins);
    ctx_.views.Refresh();
}

void ProcessingController::OpenRecipe() {
    auto path = ctx_.dialogs.open_file("Open Recipe", "Processing Recipes|*.json|All Files|*.*");
    if (path)
        OpenRecipeFile(*path);
}

bool ProcessingController::OpenRecipeFile(const std::string& path) {
    ProcessingOptions o = PanelOptions();
    try {
        o.read_recipe(path);
    } catch (const VelmoraError& e) {
        ctx_.dialogs.message(with_path(e.what(), path), "Error opening recipe");
        return false;
    }
    ShowOptions(o);
    return true;
}

void ProcessingController::SaveRecipe() {
    const std::string data = ctx_.ws.dataValid ? ctx_.ws.data->file_name : std::string();
    const std::string proposed =
        data.empty()
            ? "recipe.json"
            : drop_last(std::filesystem::path(data).filename().string(), 4) + "_recipe.json";
    auto path =
        ctx_.dialogs.save_file("Save Recipe", "Processing Recipes|*.json|All Files|*.*", proposed);
    if (path)
        SaveRecipeFile(*path);
}

bool ProcessingController::SaveRecipeFile(const std::string& path) {
    try {
        PanelOptions().save_recipe(path);
    } catch (const VelmoraError& e) {
        ctx_.dialogs.message(with_path(e.what(), path), "Error saving recipe");
        return false;
    }
    ctx_.ws.window.status = written_files_status({path});
    return true;
}

void ProcessingController::EditThresholds() {
    ProcessingOptions::Qc qc = ctx_.ws.processing.qc;
    if (ctx_.dialogs.qc_thresholds(qc) != mrOk)
        return;
    if (const std::string why = qc.inconsistency(); !why.empty()) {
        ctx_.dialogs.message("The thresholds were not changed: " + why + ".", "QC Thresholds");
        return;
    }
    ctx_.ws.processing.qc = qc;
    Reprocess();
}

void ProcessingController::EditMetadata() {
    std::map<std::string, std::string> values = ctx_.ws.processing.metadata;
    if (ctx_.dialogs.seabass_metadata(metadata_keywords(), values, {}) != mrOk)
        return;
    RememberMetadata(values);
}

void ProcessingController::RememberMetadata(const std::map<std::string, std::string>& values) {
    Workspace& ws = ctx_.ws;
    ws.processing.metadata = values;
    ws.reg.seabass_metadata = metadata_text(values);
    try {
        ws.reg.Save();
    } catch (const VelmoraError& e) {
        ctx_.dialogs.message(e.what(), "");
    }
}

bool ProcessingController::AskSeabassMetadata(ProcessingOptions& o) {
    Workspace& ws = ctx_.ws;
    HYP_Data& d = *ws.data;
    // The header as the data and the metadata give it.
    ProductTable t;
    try {
        ws.run_job(SessionState::Saving, "Checking the SeaBASS header",
                   [&] { t = make_products(d, o); });
    } catch (const VelmoraError& e) {
        ctx_.dialogs.message(e.what(), "SeaBASS");
        return false;
    }
    if (!t.start_utc) {
        ctx_.dialogs.message("SeaBASS files need the start time of the data (--start).", "SeaBASS");
        return false;
    }
    const std::vector<std::string> missing = seabass::missing_keywords(t);
    if (missing.empty())
        return true;
    // Every keyword the dialog shows, filled from the user's metadata or else from the data.
    std::map<std::string, std::string> values = o.metadata;
    std::map<std::string, std::string> from_data;
    for (const auto& [key, value] : seabass::header_values(t))
        if (!value.empty() && !o.metadata.count(key))
            from_data[key] = value;
    for (const auto& [key, value] : from_data)
        values[key] = value;
    if (ctx_.dialogs.seabass_metadata(metadata_keywords(), values, missing) != mrOk)
        return false;
    // Values the data gave are the data's again next time, not the user's.
    for (const auto& [key, value] : from_data)
        if (auto it = values.find(key); it != values.end() && it->second == value)
            values.erase(it);
    RememberMetadata(values);
    o.metadata = values;
    return true;
}

void ProcessingController::Save() {
    Workspace& ws = ctx_.ws;
    if (!ws.post.B_Save_enabled || !ws.post.corrections_enabled)
        return;
    ProcessingOptions o = PanelOptions();
    const bool extra_formats = o.output.netcdf || o.output.seabass;
    if (!uses_products(o) && !extra_formats && o.output.text) {
        post_.B_SavePostClick();
        return;
    }
    if (!o.output.text && !extra_formats) {
        ctx_.dialogs.message("Choose at least one output format.", "Save");
        return;
    }
    auto path = ctx_.dialogs.save_file("Save corrected data", ws.window.save_filter,
                                       post_.DefaultCorrectedName());
    if (!path)
        return;
    if (o.output.seabass && !AskSeabassMetadata(o))
        return;

    HYP_Data& d = *ws.data;
    std::vector<std::string> written;
    try {
        ws.run_cancellable_job(SessionState::Saving, "Saving " + *path, [&] {
            written = write_outputs(d, o, *path, kAppHistory, [&ws] { ws.job_checkpoint(); });
        });
    } catch (const JobCancelled&) {
        ws.window.status = "Save cancelled; no file was written.";
        return;
    } catch (const VelmoraError& e) {
        const std::string what = e.what();
        // A file of the run that failed names itself; otherwise the text file is meant.
        const auto* failed = dynamic_cast<const OutputError*>(&e);
        if (what.rfind(kSeabassCheckFailed, 0) == 0)
            ctx_.dialogs.findings("The SeaBASS file fails its check and was not kept",
                                  lines_after_first(what));
        else
            ctx_.dialogs.message(with_path(what, failed ? failed->path() : *path),
                                 "Error saving file");
        return;
    }
    ws.window.status = written_files_status(written);
}
