// velmora-cli acquire: the desktop app's acquisition without a window, for logging on a
// computer at sea.  The same controller runs its 100 ms tick; every question it would ask is
// answered with Cancel, and its messages go to stderr.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include "acquisition_controller.h"
#include "app_services.h"
#include "args.h"
#include "commands.h"
#include "text.h"

namespace {

const cli::Command kAcquire{
    "acquire",
    "Usage: velmora-cli acquire --dev DEV --port N [--seconds S] -o OUT.dat [--raw OUT.bin]\n",
    "Logs an instrument on port N (the device VELMORA_COM<N> names, or the default serial\n"
    "device for that number) with the device file DEV.  The stream is checked against the\n"
    "device file; once it matches, the records go to OUT.dat as they arrive.  Runs until\n"
    "interrupted (Ctrl+C, SIGTERM), for S seconds when given, or until the instrument stops\n"
    "sending; with --raw the raw byte stream is saved to OUT.bin at the end.\n",
    {{nullptr,
      {
          {"--dev", "DEV", "the instrument's device file"},
          {"--port", "N", "the port number, 0 to 255"},
          {"--seconds", "S", "stop after S seconds (default: run until interrupted)"},
          {"-o", "OUT.dat", "the data file the records go to as they arrive", "--output"},
          {"--raw", "OUT.bin", "save the raw byte stream here at the end"},
      }}}};

std::atomic<bool> stop_requested{false};

extern "C" void request_stop(int) {
    stop_requested = true;
}

// Every question answered with Cancel; the continuous-saving file is the one given.
class HeadlessDialogs : public NullDialogs {
  public:
    explicit HeadlessDialogs(std::string out) {
        save_answer = std::move(out);
        report = [](const std::string& caption, const std::string& text) {
            std::fprintf(stderr, "\nvelmora-cli acquire: %s%s%s\n", caption.c_str(),
                         caption.empty() ? "" : ": ", text.c_str());
        };
    }
    int fac_cal_query(double&) override {
        std::fprintf(stderr, "velmora-cli acquire: the device file has no readable factory "
                             "calibration temperature.\n");
        return mrFacCalCancelled;
    }
};

void print_progress(const Workspace& ws, const RealTimePanelState& panel, bool tty,
                    bool final_line) {
    const char* state = "running";
    switch (ws.acqState) {
    case WaitingForData:
        state = "waiting for data";
        break;
    case CheckingStream:
        state = "checking the stream";
        break;
    default:
        break;
    }
    std::fprintf(stderr, "%srecords: %zu  lost: %d  %s  (%s)%s", tty ? "\r" : "",
                 ws.data->records.size(), ws.reader->lost_records,
                 panel.L_SizeOfFile.empty() ? "no file yet" : panel.L_SizeOfFile.c_str(),
                 final_line ? "stopped" : state, tty && !final_line ? "   " : "\n");
    std::fflush(stderr);
}

struct Settings {
    std::string dev, out, raw;
    int port = -1;
    double seconds = 0; // 0: until interrupted
};

int acquire(const cli::Args& a) {
    if (!a.positional.empty())
        throw cli::UsageError{"unexpected argument '" + a.positional[0] + "'"};
    if (!a.has("--dev") || !a.has("--port") || !a.has("-o"))
        throw cli::UsageError{"--dev, --port and -o are required"};
    Settings args;
    args.dev = a.get("--dev");
    args.out = a.get("-o");
    args.raw = a.get_or("--raw", "");
    args.port = static_cast<int>(a.integer("--port", -1, 0, 255));
    args.seconds = a.number("--seconds", 0);
    if (a.has("--seconds") && !(args.seconds > 0))
        throw cli::UsageError{"--seconds must be above 0"};

    int qt_argc = 1;
    char name[] = "velmora-cli";
    char* qt_argv[] = {name, nullptr};
    QCoreApplication app(qt_argc, qt_argv);

    Workspace ws;
    HeadlessDialogs dialogs(args.out);
    NullViews views;
    SystemClock clock;
    AcquisitionController acq(AppContext{ws, dialogs, views, clock});
    ws.E_Device = args.dev;
    ws.UD_Port = args.port;

    acq.B_StartClick();
    if (!acq.Timer1Enabled())
        return 1; // the reason is on stderr

    struct sigaction sa {};
    sa.sa_handler = request_stop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    const bool tty = ::isatty(STDERR_FILENO) != 0;
    const auto started = std::chrono::steady_clock::now();
    auto last_report = started;
    bool stopped_by_user = false;

    QTimer timer;
    timer.setInterval(100);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const auto now = std::chrono::steady_clock::now();
        const bool time_up = args.seconds > 0 &&
                             std::chrono::duration<double>(now - started).count() >= args.seconds;
        if (stop_requested || time_up) {
            stopped_by_user = true;
            acq.Timer1Timer(); // what is still waiting at the port
            acq.B_StopClick(); // writes every record not yet in the file and closes it
        } else {
            acq.Timer1Timer();
        }
        if (!acq.Timer1Enabled()) {
            app.quit();
            return;
        }
        if (now - last_report >= std::chrono::seconds(tty ? 1 : 10)) {
            last_report = now;
            print_progress(ws, acq.panel, tty, false);
        }
    });
    timer.start();
    app.exec();
    timer.stop();

    // Stop has closed the data file; sizes are read after that.
    if (!ws.acquired_file.empty()) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(ws.acquired_file, ec);
        if (!ec)
            acq.panel.L_SizeOfFile = AcquisitionController::size_label(size);
    }
    print_progress(ws, acq.panel, tty, true);

    int rc = stopped_by_user ? 0 : 1;
    if (!args.raw.empty()) {
        try {
            ws.reader->save_raw(args.raw);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "velmora-cli acquire: %s: %s\n", args.raw.c_str(), e.what());
            rc = 1;
        }
    }
    if (ws.acquired_file.empty())
        std::fprintf(stderr, "velmora-cli acquire: no data file written (the stream never "
                             "matched the device file)\n");
    return rc;
}

} // namespace

int cmd_acquire(int argc, char** argv) {
    return cli::run(kAcquire, argc, argv, acquire);
}
