#include "screenshot.h"

#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "post_process_controller.h"
#include "processing_controller.h"
#include "tf_main.h"

namespace {

struct ViewName {
    const char* name;
    MainController::PlotKind kind;
};
constexpr ViewName kViews[] = {{"time", MainController::PlotKind::Time},
                               {"spectral", MainController::PlotKind::Spectral},
                               {"depth", MainController::PlotKind::Depth},
                               {"binned", MainController::PlotKind::Binned},
                               {"residual", MainController::PlotKind::Residual}};

} // namespace

bool screenshot_view_known(const std::string& name) {
    for (const ViewName& v : kViews)
        if (name == v.name)
            return true;
    return false;
}

int take_screenshot(const ScreenshotRequest& r) {
    // No one answers a screenshot run: messages go to stderr, every question is cancelled.
    NullDialogs dialogs;
    dialogs.report = [](const std::string& caption, const std::string& text) {
        std::fprintf(stderr, "velmora: %s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ",
                     text.c_str());
    };
    TF_Main::Options options;
    options.dialogs = &dialogs;
    options.background_jobs = false;
    TF_Main window(options);
    if (r.width > 0 && r.height > 0 && r.view.empty())
        window.resize(r.width, r.height);
    window.show();
    window.FormActivate();
    bool ok = true;
    if (!r.data_file.empty())
        ok = window.Run([&] {
            window.ws.window.tab_index = 1;
            window.SyncWidgets();
            if (!window.postProcess().LoadDataFile(r.data_file))
                throw VelmoraError("Unable to load " + r.data_file);
        });
    if (ok && !r.recipe.empty())
        ok = window.Run([&] {
            if (!window.processing().OpenRecipeFile(r.recipe))
                throw VelmoraError("Unable to open the recipe " + r.recipe);
            if (!window.ws.window.status.empty())
                std::fprintf(stderr, "velmora: %s\n", window.ws.window.status.c_str());
        });
    if (r.tab == 0 || r.tab == 1) {
        window.ws.window.tab_index = r.tab;
        window.SyncWidgets();
    }
    QWidget* shown = &window;
    for (const ViewName& v : kViews)
        if (r.view == v.name) {
            window.OpenPlotWindow(v.kind);
            if (window.plotWindows().empty()) {
                std::fprintf(stderr, "velmora: the %s view cannot be opened for these data\n",
                             v.name);
                return 1;
            }
            shown = window.plotWindows().back();
            shown->resize(r.width > 0 ? r.width : 760, r.height > 0 ? r.height : 480);
        }
    // Let the layouts and the charts settle before rendering.
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    const QPixmap shot = shown->grab();
    if (!shot.save(QString::fromStdString(r.png_path), "PNG")) {
        std::fprintf(stderr, "velmora: cannot write %s\n", r.png_path.c_str());
        return 1;
    }
    return ok ? 0 : 1;
}
