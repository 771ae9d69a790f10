// The main window's own commands without the widgets: first activation, the settings-backed
// menu items, plot window names and the close request.
#pragma once

#include <optional>
#include <string>

#include "app_services.h"

class MainController {
  public:
    explicit MainController(AppContext ctx) : ctx_(ctx) {}

    // Runs once: loads the settings and restores tab, port, device file and auto temperature.
    // Returns true on the first call only (the window then creates its views).
    bool FormActivate();
    bool activated() const { return !first_activation_; }

    enum class PlotKind { Time = 0, Spectral, Depth, Reference, Binned, Residual };
    struct PlotNames {
        std::string view;
        std::string window;
    };
    // The names of the next plot window of a kind, counting that kind on; nothing when the kind
    // cannot be opened now ("Plot Depth" needs merged CTD data).
    std::optional<PlotNames> NextPlot(PlotKind kind);

    void PageControl1Change(int index);
    void M_WaterCorrectionsClick();
    void M_AutoTempClick();
    void M_BrevianClick();
    // False while "Brevian Mode" is checked: the window refuses to close.
    bool FormCloseQuery() const;

    // The time plots' time-axis format chosen in a plot's menu (0 ms, 1 elapsed, 2 UTC clock),
    // kept in the settings for every time plot and the next run.
    void TimeAxisChosen(int format);
    // The window's geometry and splitter sizes as it closes, for the next run to open with.
    void RememberWindowLayout(const std::string& geometry, const std::string& splitters);

  private:
    AppContext ctx_;
    bool first_activation_ = true;
    int counters_[6] = {};
};
