// The start time in the application: set by the first record of an acquisition (from the clock
// seam), carried by the continuous file, saved data and the raw capture's .start file, read back
// by the replay, and set by hand on the post-processing side.
#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "acq_fixture.h"
#include "acquired_data_commands.h"
#include "acquisition_setup.h"
#include "clock_time.h"
#include "post_process_controller.h"
#include "replay_controller.h"

namespace {

std::string first_line(const std::string& path) {
    const std::string text = read_text(path);
    return text.substr(0, text.find('\n'));
}

class StartTimeAcq : public AcqRig {
  protected:
    AcquiredDataCommands cmd{AppContext{ws, dialogs, views, clock}, acq};
    ReplayController replay{AppContext{ws, dialogs, views, clock}, acq};
};

} // namespace

TEST_F(StartTimeAcq, FirstRecordSetsItAndEveryFileCarriesIt) {
    const std::string cont = dir.file("cont.dat");
    stream(4);
    start();
    EXPECT_FALSE(ws.data->start_utc); // the port is open, nothing decoded yet
    tick();                           // the first records are decoded now
    ASSERT_FALSE(ws.data->records.empty());
    const std::int64_t first = clock.now_ms();
    ASSERT_EQ(ws.data->start_utc, first);
    dialogs.save_answers.push_back(cont);
    for (int i = 0; i < 5 && ws.acqState != Running; ++i)
        tick();
    ASSERT_EQ(ws.acqState, Running);
    stream(3);
    ticks(3);
    EXPECT_EQ(ws.data->start_utc, first); // later records leave it
    acq.B_StopClick();

    const std::string line1 =
        "File created by Velmora version 2.0\tstart=" + clock_time::format_iso(first);
    EXPECT_EQ(first_line(cont), line1);
    HYP_Data back;
    back.load_file(cont, false);
    EXPECT_EQ(back.records.size(), ws.data->records.size());
    EXPECT_EQ(back.start_utc, first);

    // Saved data and the raw capture with its .start file.
    const std::string saved = dir.file("saved.dat");
    dialogs.save_answers.push_back(saved);
    cmd.A_SaveFromDeviceExecute();
    EXPECT_EQ(first_line(saved), line1);
    const std::string bin = dir.file("raw.bin");
    dialogs.save_answers.push_back(bin);
    cmd.A_SaveBinaryClick();
    EXPECT_EQ(read_text(bin + ".start"), "start=" + clock_time::format_iso(first) + "\n");

    // The replay takes it from beside the capture, and has none without the file.
    ws.data->start_utc.reset();
    ASSERT_TRUE(replay.replay(bin));
    EXPECT_EQ(ws.data->start_utc, first);
    std::filesystem::remove(bin + ".start");
    ASSERT_TRUE(replay.replay(bin));
    EXPECT_FALSE(ws.data->start_utc);
    // Saving the capture of a data set without a start leaves no stale .start beside it.
    write_text(bin + ".start", "start=2001-01-01T00:00:00Z\n");
    dialogs.save_answers.push_back(bin);
    cmd.A_SaveBinaryClick();
    EXPECT_FALSE(std::filesystem::exists(bin + ".start"));
}

TEST_F(StartTimeAcq, ContinuousFileWithoutRecordsKeepsItsHeader) {
    const std::string cont = dir.file("cont.dat");
    start();
    ASSERT_TRUE(acq.begin_continuous_saving(cont));
    acq.B_StopClick();
    EXPECT_FALSE(ws.data->start_utc);
    const std::string text = read_text(cont);
    EXPECT_EQ(text.rfind("File created by Velmora version 2.0\nHYP", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 1), "\n");
}

TEST(CaptureStart, ReadsOnlyAStartLine) {
    TempDir dir;
    const std::string bin = dir.file("c.bin");
    EXPECT_FALSE(read_capture_start(bin)); // no file
    struct Case {
        const char* text;
        std::optional<std::int64_t> start;
    };
    const Case cases[] = {
        {"start=2024-03-15T12:00:30.250Z\n", 1710504030250},
        {"start=2024-03-15T12:00:30.250Z\r\n", 1710504030250},
        {"start=2024-03-15 12:00:30", 1710504030000},
        {"2024-03-15T12:00:30Z\n", std::nullopt},
        {"start=2024-03-15\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        write_text(capture_start_path(bin), c.text);
        EXPECT_EQ(read_capture_start(bin), c.start) << c.text;
    }
}

// ---------------------------------------------------------------------------------------------

namespace {

struct SetStartTime : ::testing::Test {
    TempDir dir;
    Workspace ws;
    ScriptedDialogs dialogs;
    RecordingViews views;
    FakeClock clock;
    PostProcessController pp{AppContext{ws, dialogs, views, clock}};

    SetStartTime() { ws.reg = VelmoraSettings(dir.file("settings.json")); }
};

} // namespace

TEST_F(SetStartTime, ProposesTheFileTimeAndSetsTheAnswer) {
    pp.M_SetStartTimeClick(); // nothing loaded: no dialog
    EXPECT_TRUE(dialogs.start_proposals.empty());
    EXPECT_EQ(start_time_label(ws), "");

    const std::string path = dir.file("cast1.dat");
    write_text(path, hyp_data_file(4));
    const auto modified = std::chrono::file_clock::from_sys(
        std::chrono::sys_time<std::chrono::milliseconds>(std::chrono::milliseconds(1234567890123)));
    std::filesystem::last_write_time(path, modified);
    ASSERT_TRUE(pp.LoadDataFile(path));
    EXPECT_EQ(start_time_label(ws), "start time unknown");

    pp.M_SetStartTimeClick(); // cancelled
    ASSERT_EQ(dialogs.start_proposals.size(), 1u);
    EXPECT_EQ(dialogs.start_proposals[0], 1234567890123);
    EXPECT_FALSE(ws.data->start_utc);

    dialogs.start_answers.push_back(1710504030250);
    pp.M_SetStartTimeClick();
    EXPECT_EQ(ws.data->start_utc, 1710504030250);
    EXPECT_EQ(start_time_label(ws), "start time 2024-03-15T12:00:30.250Z");

    // Next time the data set's own start is proposed, and the corrected file carries it.
    pp.M_SetStartTimeClick();
    ASSERT_EQ(dialogs.start_proposals.size(), 3u);
    EXPECT_EQ(dialogs.start_proposals[2], 1710504030250);
    const std::string out = dir.file("out.dat");
    dialogs.save_answers.push_back(out);
    pp.B_SavePostClick();
    EXPECT_EQ(first_line(out), "Output of hyp/flw data\tstart=2024-03-15T12:00:30.250Z");
}

TEST_F(SetStartTime, WithoutAFileTheClockIsProposed) {
    ws.dataValid = true; // records from a replay, say, never saved
    ws.post.E_HYPFile = "(data not saved)";
    pp.M_SetStartTimeClick();
    ASSERT_EQ(dialogs.start_proposals.size(), 1u);
    EXPECT_EQ(dialogs.start_proposals[0], clock.now_ms());
}
