#include "screenshot.h"

#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "post_process_controller.h"
#include "tf_main.h"

int take_screenshot(const std::string& png_path, int tab, const std::string& data_file) {
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
    window.show();
    window.FormActivate();
    bool ok = true;
    if (!data_file.empty())
        ok = window.Run([&] {
            window.ws.window.tab_index = 1;
            window.SyncWidgets();
            if (!window.postProcess().LoadDataFile(data_file))
                throw VelmoraError("Unable to load " + data_file);
        });
    if (tab == 0 || tab == 1) {
        window.ws.window.tab_index = tab;
        window.SyncWidgets();
    }
    // Let the layouts and the charts settle before rendering.
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    const QPixmap shot = window.grab();
    if (!shot.save(QString::fromStdString(png_path), "PNG")) {
        std::fprintf(stderr, "velmora: cannot write %s\n", png_path.c_str());
        return 1;
    }
    return ok ? 0 : 1;
}
