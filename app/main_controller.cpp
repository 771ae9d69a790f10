#include "main_controller.h"

#include <algorithm>

bool MainController::FormActivate() {
    if (!first_activation_)
        return false;
    first_activation_ = false;
    Workspace& ws = ctx_.ws;

    ws.reader = std::make_unique<parent_reader>();
    ws.replace_data(ctx_.views);
    ws.dataValid = false;

    ws.preview.PD_ScatType = default_scat_index();
    ws.post.PD_Temp = 0;
    ws.post.PD_Saln = 0;

    ws.reg.Load();
    if (ws.reg.tab_index == 0 || ws.reg.tab_index == 1)
        ws.window.tab_index = ws.reg.tab_index;
    // The port up-down runs from 0 to 100.
    ws.UD_Port = std::clamp<int>(ws.reg.commport, 0, 100);
    ws.E_Device = ws.reg.devfile;
    ws.window.M_AutoTemp.checked = ws.reg.autotemp != 0;
    return true;
}

std::optional<MainController::PlotNames> MainController::NextPlot(PlotKind kind) {
    if (kind == PlotKind::Depth && !ctx_.ws.data->ctd_merged)
        return std::nullopt;
    static const char* const kNames[] = {"Time",      "Spectral", "Depth",
                                         "Reference", "Binned",   "Residual"};
    const int k = static_cast<int>(kind);
    const std::string n = std::to_string(counters_[k]++);
    return PlotNames{std::string(kNames[k]) + "Graph" + n, std::string(kNames[k]) + "Window" + n};
}

void MainController::PageControl1Change(int index) {
    ctx_.ws.window.tab_index = index;
    ctx_.ws.reg.tab_index = index;
    ctx_.ws.reg.Save();
}

void MainController::M_WaterCorrectionsClick() {
    auto& item = ctx_.ws.window.M_WaterCorrections;
    item.checked = !item.checked;
}

void MainController::M_AutoTempClick() {
    auto& item = ctx_.ws.window.M_AutoTemp;
    item.checked = !item.checked;
    ctx_.ws.reg.autotemp = item.checked ? 1 : 0;
    ctx_.ws.reg.Save();
}

void MainController::M_BrevianClick() {
    auto& item = ctx_.ws.window.M_Brevian;
    item.checked = !item.checked;
}

void MainController::TimeAxisChosen(int format) {
    if (format < 0 || format > 2 || format == ctx_.ws.reg.time_axis)
        return;
    ctx_.ws.reg.time_axis = format;
    ctx_.ws.reg.Save();
}

void MainController::RememberWindowLayout(const std::string& geometry,
                                          const std::string& splitters) {
    if (geometry == ctx_.ws.reg.window_geometry && splitters == ctx_.ws.reg.splitter_sizes)
        return;
    ctx_.ws.reg.window_geometry = geometry;
    ctx_.ws.reg.splitter_sizes = splitters;
    ctx_.ws.reg.Save();
}

bool MainController::FormCloseQuery() const {
    return !ctx_.ws.window.M_Brevian.checked;
}
