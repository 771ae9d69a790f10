// Faults at sea with a real serial line (a pseudo-terminal fed by the simulator): the logger
// killed outright, and the instrument vanishing in the middle of a cast.  Neither may lose a
// record that was already written, and neither may leave the program unable to go on.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include "acquisition_controller.h"
#include "app_fakes.h"
#include "simulator.h"

namespace {

using namespace std::chrono_literals;

const std::string kDev = std::string(VELMORA_DATA_DIR) + "/sample_hyp.dev";

sim::Options hyp_options(double rate_hz) {
    sim::Options o;
    o.model = sim::Model::HYP;
    o.dev_path = kDev;
    o.rate_hz = rate_hz;
    return o;
}

// Complete record lines of a data file (those after the column label line).
std::size_t complete_records(const std::string& path) {
    const std::string text = read_text(path);
    const std::size_t label = text.find("\nTime(ms)");
    if (label == std::string::npos)
        return 0;
    const std::size_t first = text.find('\n', label + 1);
    if (first == std::string::npos)
        return 0;
    std::size_t n = 0;
    for (std::size_t i = first + 1; i < text.size(); ++i)
        n += text[i] == '\n';
    return n;
}

// Every loaded record is one the instrument sent, value for value and in order.  A busy machine
// may drop bytes at the line, as a real serial line does when nobody reads it, so records may
// be missing between two saved ones; none may be altered, invented or out of place.
void expect_records_of_the_stream(const HYP_Data& got, const sim::Options& o) {
    ASSERT_FALSE(got.records.empty());
    sim::Simulator s(o);
    std::vector<std::uint8_t> bytes;
    s.append_records(bytes, got.records.size() + 4000);
    const std::vector<hyp_data>& want = s.intended();
    const double tol = 2 * s.resolution() + 1e-6;
    auto same = [&](const hyp_data& a, const hyp_data& b) {
        for (std::size_t k = 0; k < got.a_wavelengths.size(); ++k) {
            if (std::abs(a.a_values[k] - b.a_values[k]) > tol ||
                std::abs(a.c_values[k] - b.c_values[k]) > tol)
                return false;
        }
        return true;
    };
    std::size_t j = 0, first = 0;
    for (std::size_t i = 0; i < got.records.size(); ++i) {
        while (j < want.size() && !same(got.records[i], want[j]))
            ++j;
        ASSERT_LT(j, want.size()) << "record " << i << " is not in the stream after record "
                                  << (i == 0 ? 0 : i - 1);
        if (i == 0)
            first = j;
        ASSERT_EQ(got.records[i].time - got.records[0].time, want[j].time - want[first].time)
            << "record " << i;
        ++j;
    }
}

} // namespace

TEST(LoggerKilled, ContinuousFileKeepsEveryRecordWrittenBeforeSigkill) {
    TempDir dir;
    const sim::Options o = hyp_options(40);
    auto pty = sim::PtyStream::start(o, dir.file("tty"));
    const std::string out = dir.file("cast 1.dat");

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("VELMORA_COM78", dir.file("tty").c_str(), 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::execl(VELMORA_CLI, VELMORA_CLI, "acquire", "--dev", kDev.c_str(), "--port", "78", "-o",
                out.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }

    // Wait until the logger has written a good number of records, then kill it without warning.
    std::size_t seen = 0;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (seen < 60 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
        seen = complete_records(out);
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    pty->stop();
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_GE(seen, 60u) << "the logger wrote too few records in 30 s";

    HYP_Data back;
    back.load_file(out, false);
    EXPECT_GE(back.records.size(), seen);
    EXPECT_EQ(back.records.size(), complete_records(out));
    expect_records_of_the_stream(back, o);
}

// The controller on a real serial port, with the simulator behind a pseudo-terminal.
class InstrumentGone : public ::testing::Test {
  protected:
    int argc = 1;
    char name[16] = "tests";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    TempDir dir;
    FakeClock clock;
    Workspace ws;
    ScriptedDialogs dialogs;
    RecordingViews views;
    AcquisitionController acq{AppContext{ws, dialogs, views, clock}};

    InstrumentGone() {
        ws.reg = VelmoraSettings(dir.file("settings.json"));
        ::setenv("VELMORA_COM79", dir.file("tty").c_str(), 1);
        ws.E_Device = kDev;
        ws.UD_Port = 79;
    }

    // Ticks (100 ms of the fake clock, a little real time for the bytes) until `done`.
    template <typename F> bool tick_until(F done) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
            clock.advance_ms(100);
            acq.Timer1Timer();
        }
        return done();
    }
};

TEST_F(InstrumentGone, TimeOutStopsKeepsTheSavedRecordsAndANewStartWorks) {
    const sim::Options o = hyp_options(40);
    auto pty = sim::PtyStream::start(o, dir.file("tty"));
    const std::string out = dir.file("cast.dat");
    dialogs.save_answers.push_back(out);
    acq.B_StartClick();
    ASSERT_TRUE(tick_until([&] { return ws.acqState == Running && ws.data->records.size() >= 20; }))
        << "state " << ws.acqState << ", " << ws.data->records.size() << " records";

    // The cable is pulled: the other side of the line closes.
    pty->stop();
    for (int i = 0; i < 10; ++i) { // the port reports the hang-up; the tick reads nothing
        std::this_thread::sleep_for(20ms);
        clock.advance_ms(100);
        acq.Timer1Timer();
    }
    const std::size_t records = ws.data->records.size();
    clock.advance_seconds(11);
    acq.Timer1Timer();
    EXPECT_EQ(messages_of(dialogs),
              std::vector<std::string>{
                  "It stopped giving me data....|Device timed out.  Did it get disconnected?"});
    clock.advance_ms(100);
    acq.Timer1Timer();
    EXPECT_FALSE(acq.Timer1Enabled());
    EXPECT_EQ(ws.acqState, WaitingForData);
    EXPECT_EQ(ws.data->records.size(), records);

    HYP_Data saved;
    saved.load_file(out, false);
    EXPECT_EQ(saved.records.size(), records);
    expect_records_of_the_stream(saved, o);

    // The instrument is back (a new line at the same place): Start acquires again.
    dialogs.messages.clear();
    auto again = sim::PtyStream::start(o, dir.file("tty"));
    dialogs.save_answers.push_back(dir.file("cast2.dat"));
    acq.B_StartClick();
    EXPECT_TRUE(tick_until([&] { return ws.acqState == Running && ws.data->records.size() >= 5; }))
        << "state " << ws.acqState << ", " << ws.data->records.size() << " records";
    acq.B_StopClick();
    again->stop();
    EXPECT_TRUE(dialogs.messages.empty()) << messages_of(dialogs).front();
    HYP_Data second;
    second.load_file(dir.file("cast2.dat"), false);
    EXPECT_EQ(second.records.size(), ws.data->records.size());
}

// The save dialog of the continuous file stays on screen (30 s of the clock) while a fast
// instrument goes on sending, far more than the line holds: a modal dialog runs its own event
// loop, and the port must be read there, or the bytes are lost at the line.  Every record from
// the first to the last comes out, one interval apart.
TEST_F(InstrumentGone, DialogOnScreenLosesNothing) {
    // 100 kB/s on the line, 100 spectra a second.
    std::string dev = read_text(kDev);
    const std::size_t baud = dev.find("115200\t");
    ASSERT_NE(baud, std::string::npos);
    dev.replace(baud, 6, "1000000");
    write_text(dir.file("fast.dev"), dev);
    ws.E_Device = dir.file("fast.dev");
    sim::Options o = hyp_options(100);
    o.dev_path = ws.E_Device;
    auto pty = sim::PtyStream::start(o, dir.file("tty"));

    const std::string out = dir.file("cast.dat");
    dialogs.save_answers.push_back(out);
    bool shown = false;
    dialogs.while_open = [&] {
        shown = true;
        QEventLoop loop;
        QTimer::singleShot(2500, &loop, &QEventLoop::quit);
        loop.exec();
        clock.advance_seconds(30);
    };
    acq.B_StartClick();
    ASSERT_TRUE(tick_until([&] { return ws.acqState == Running; }));
    ASSERT_TRUE(shown);
    dialogs.while_open = nullptr;
    for (int i = 0; i < 5; ++i) { // what came while the dialog was up, and a little more
        std::this_thread::sleep_for(20ms);
        clock.advance_ms(100);
        acq.Timer1Timer();
    }
    acq.B_StopClick();
    pty->stop();
    EXPECT_TRUE(dialogs.messages.empty()) << messages_of(dialogs).front();
    EXPECT_EQ(ws.reader->lost_records, 0);

    HYP_Data saved;
    saved.load_file(out, false);
    ASSERT_GE(saved.records.size(), 200u) << "2.5 s at 100 spectra a second";
    for (std::size_t i = 1; i < saved.records.size(); ++i)
        ASSERT_EQ(saved.records[i].time - saved.records[i - 1].time, 10) << "record " << i;
}
