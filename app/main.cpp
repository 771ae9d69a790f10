// velmora [FILE] | --demo [hyp|flw] | --screenshot FILE.png [--tab N] [FILE]
#include "huge_pages.h"
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "command_guard.h"
#include "demo.h"
#include "screenshot.h"
#include "tf_main.h"

namespace {

// The last line of the top-level error report: an error that escapes an event handler is shown
// with its text and the application goes on.
class VelmoraApplication : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            report(e.what());
        } catch (...) {
            report("Unable to catch exception");
        }
        return false;
    }

  private:
    static void report(const char* text) {
        QMessageBox box(QMessageBox::Warning, kUncaughtErrorCaption, QString::fromLocal8Bit(text),
                        QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
};

void usage() {
    std::fprintf(stderr, "usage: velmora [DATA_FILE]\n"
                         "       velmora --demo [hyp|flw]\n"
                         "       velmora --screenshot FILE.png [--tab N] [--recipe R.json]\n"
                         "                        [--view time|spectral|depth|binned|residual]\n"
                         "                        [--size WIDTHxHEIGHT]\n"
                         "                        [DATA_FILE]\n");
}

} // namespace

int main(int argc, char** argv) {
    request_huge_pages(argv);
    VelmoraApplication app(argc, argv);
    QApplication::setApplicationName("Velmora");
    QApplication::setApplicationDisplayName("Velmora");
    QApplication::setDesktopFileName("velmora");

    std::string screenshot, file, demo_model, recipe, view;
    int tab = -1, width = 0, height = 0;
    bool demo = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--screenshot") {
            if (i + 1 >= argc) {
                usage();
                return 2;
            }
            screenshot = argv[++i];
        } else if (a == "--tab") {
            // Only the two tabs exist: anything else is a mistake worth saying so.
            const std::string n = i + 1 < argc ? argv[++i] : "";
            if (n != "0" && n != "1") {
                std::fprintf(stderr, "velmora: --tab takes 0 or 1, not \"%s\"\n", n.c_str());
                usage();
                return 2;
            }
            tab = n[0] - '0';
        } else if (a == "--size") {
            // WxH in pixels, for screenshots.
            const char* wh = i + 1 < argc ? argv[++i] : "";
            if (std::sscanf(wh, "%dx%d", &width, &height) != 2 || width < 100 || height < 100 ||
                width > 10000 || height > 10000) {
                std::fprintf(stderr, "velmora: --size takes WIDTHxHEIGHT, not \"%s\"\n", wh);
                usage();
                return 2;
            }
        } else if (a == "--recipe" || a == "--view") {
            if (i + 1 >= argc) {
                usage();
                return 2;
            }
            (a == "--recipe" ? recipe : view) = argv[++i];
            if (a == "--view" && !screenshot_view_known(view)) {
                std::fprintf(stderr,
                             "velmora: --view takes time, spectral, depth, binned or "
                             "residual, not \"%s\"\n",
                             view.c_str());
                usage();
                return 2;
            }
        } else if (a == "--demo") {
            demo = true;
            demo_model = "hyp";
            if (i + 1 < argc && argv[i + 1][0] != '-')
                demo_model = argv[++i];
        } else if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            usage();
            return 2;
        } else {
            file = a;
        }
    }

    // A recipe and a view are for screenshots only.
    if (screenshot.empty() && (!recipe.empty() || !view.empty() || width > 0)) {
        usage();
        return 2;
    }
    if (!screenshot.empty())
        return take_screenshot({screenshot, tab, file, recipe, view, width, height});

    TF_Main window;
    window.show();
    window.FormActivate();

    std::unique_ptr<DemoSession> session;
    if (demo) {
        window.Run([&] {
            session = start_demo(demo_model);
            apply_demo(*session, window.ws);
        });
    } else if (!file.empty()) {
        QTimer::singleShot(0, &window, [&window, file] { window.OpenDroppedFile(file); });
    }
    const int code = QApplication::exec();
    return code;
}
