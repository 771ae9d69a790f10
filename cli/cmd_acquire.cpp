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
#include "acquisition_setup.h"
#include "app_services.h"
#include "args.h"
#include "commands.h"
#include "devfile.h"
#include "file_checks.h"
#include "file_messages.h"
#include "text.h"

namespace {

const cli::Command kAcquire{
    "acquire",
    "Usage: velmora-cli acquire --dev DEV --port N [--seconds S] [--timeout S] -o OUT.dat\n"
    "                           [--raw OUT.bin]\n",
    "Logs an instrument on port N (the device VELMORA_COM<N> names, or the default serial\n"
    "device for that number) with the device file DEV.  The stream is checked against the\n"
    "device file; once it matches, the records go to OUT.dat as they arrive.  Runs until\n"
    "interrupted (Ctrl+C, SIGTERM), for S seconds when given, or until the instrument stops\n"
    "sending; with --raw the raw byte stream is saved to OUT.bin at the end, and the start\n"
    "time of its first record to OUT.bin.start.  Both files are checked before the port is\n"
    "opened.  Exits with 1 when no record matched the device file within the time-out or not\n"
    "every record could be saved.\n",
    {{nullptr,
      {
          {"--dev", "DEV", "the instrument's device file"},
          {"--port", "N", "the port number, 0 to 255"},
          {"--seconds", "S", "stop after S seconds (default: run until interrupted)"},
          {"--timeout", "S",
           "give up when no record has matched the device file after S seconds\n(default 20)"},
          {"-o", "OUT.dat", "the data file the records go to as they arrive", "--output"},
          {"--raw", "OUT.bin", "save the raw byte stream here at the end"},
      }}}};

std::atomic<bool> stop_requested{false};

extern "C" void request_stop(int) {
    stop_requested = true;
}

// The continuous-saving file is the one given.  The controller's questions ("Continue
// waiting?") have nobody to answer them: they are answered "go on", and the time-out of the
// command decides when to give up.
class HeadlessDialogs : public NullDialogs {
  public:
    int message(const std::string& text, const std::string& caption, bool ok_cancel) override {
        return ok_cancel ? mrOk : NullDialogs::message(text, caption, false);
    }
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
    double timeout = 20;
};

// The stream has matched the device file: records are being kept (and saved).
bool stream_matched(const Workspace& ws) {
    return ws.acqState == Running || ws.acqState == OpenOutputFile;
}

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
    args.timeout = a.number("--timeout", args.timeout);
    if (!(args.timeout > 0))
        throw cli::UsageError{"--timeout must be above 0"};

    // Both files are checked before the port is opened: a logger that cannot save what it
    // receives must not look as if it were logging.
    cli::check_input(args.dev);
    devfile dev; // read here so that a fault of it is said about it before the port is opened
    cli::about_file(args.dev, [&] { dev.parse(args.dev); });
    if (!args.raw.empty())
        cli::check_output(args.raw);
    bool out_created = false; // the data file is opened last: a check that fails leaves none
    if (const std::string problem = file_checks::direct_output_problem(args.out, out_created);
        !problem.empty())
        throw VelmoraError(cli::about(args.out, problem));

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

    // A file made by the check above and never written is not left behind.
    auto remove_unused_output = [&] {
        std::error_code ec;
        if (out_created && std::filesystem::file_size(args.out, ec) == 0 && !ec)
            std::filesystem::remove(args.out, ec);
    };

    acq.B_StartClick();
    if (!acq.Timer1Enabled()) {
        remove_unused_output();
        return 1; // the reason is on stderr
    }

    struct sigaction sa {};
    sa.sa_handler = request_stop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    const bool tty = ::isatty(STDERR_FILENO) != 0;
    const auto started = std::chrono::steady_clock::now();
    auto last_report = started;
    bool stopped_by_user = false;
    bool timed_out = false;
    bool matched = false;

    QTimer timer;
    timer.setInterval(100);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const auto now = std::chrono::steady_clock::now();
        const double running = std::chrono::duration<double>(now - started).count();
        const bool time_up = args.seconds > 0 && running >= args.seconds;
        matched = matched || stream_matched(ws);
        if (!matched && running >= args.timeout) {
            timed_out = true;
            acq.B_StopClick();
        } else if (stop_requested || time_up) {
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
            cli::about_file(capture_start_path(args.raw),
                            [&] { save_capture_start(args.raw, ws.data->start_utc); });
        } catch (const std::exception& e) {
            std::fprintf(stderr, "velmora-cli acquire: %s\n",
                         cli::about(args.raw, e.what()).c_str());
            rc = 1;
        }
    }
    const std::string seconds = text::format_g(args.timeout, 6);
    if (timed_out && ws.reader->raw_bytes.empty()) {
        std::fprintf(stderr, "velmora-cli acquire: no data from port %d within %s s.\n", args.port,
                     seconds.c_str());
    } else if (!matched) {
        std::fprintf(stderr,
                     "velmora-cli acquire: no record matched the device file %s%s%s%s; nothing "
                     "was saved.\n",
                     args.dev.c_str(), timed_out ? " within " : "",
                     timed_out ? seconds.c_str() : "", timed_out ? " s" : "");
    } else if (ws.acquired_file.empty() || ws.data->written_count < ws.data->records.size()) {
        std::fprintf(stderr,
                     "velmora-cli acquire: %s: %zu of the %zu records received were saved.\n",
                     args.out.c_str(), static_cast<std::size_t>(ws.data->written_count),
                     ws.data->records.size());
    }
    if (!matched || ws.acquired_file.empty() || ws.data->records.empty() ||
        ws.data->written_count < ws.data->records.size())
        rc = 1;
    remove_unused_output();
    return rc;
}

} // namespace

int cmd_acquire(int argc, char** argv) {
    return cli::run(kAcquire, argc, argv, acquire);
}
