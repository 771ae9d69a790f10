// The acquisition controller: Start and Stop, the tick's states and time-outs, the stream
// checks, continuous saving and the panel's labels, driven by a fake clock and a fake port.
#include <csignal>
#include <filesystem>
#include <functional>
#include <regex>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "acq_fixture.h"
#include "core/test_util.h"
#include "text.h"

namespace {

void expect_idle(const Workspace& ws, const AcquisitionController& acq) {
    EXPECT_EQ(session_state_name(ws.session()), std::string("idle"));
    EXPECT_FALSE(acq.Timer1Enabled());
    EXPECT_TRUE(ws.window.A_Start.enabled);
    EXPECT_FALSE(ws.window.A_Stop.enabled);
}

// Every control's flag, in the order of the session table.
std::vector<bool> session_flags(Workspace& ws) {
    std::vector<bool> out;
    for (const SessionControl& c : kSessionControls)
        out.push_back(c.flag(ws));
    return out;
}

// Turns every control of the session table the other way, so that a transition that forgets
// one, or changes one the table keeps, shows.
void flip_session_flags(Workspace& ws) {
    for (const SessionControl& c : kSessionControls)
        c.flag(ws) = !c.flag(ws);
}

} // namespace

using AcquisitionStart = AcqRig;

TEST_F(AcquisitionStart, StartSetsUpAcquisitionAndStopReturnsToIdle) {
    HYP_Data* before = ws.data.get();
    start();
    ASSERT_TRUE(acq.Timer1Enabled());
    EXPECT_NE(ws.data.get(), before);
    EXPECT_EQ(ws.session(), SessionState::Running);
    EXPECT_FALSE(ws.window.A_ReferenceSpectra.enabled);
    EXPECT_EQ(ws.window.caption, "");
    EXPECT_EQ(ws.post.E_HYPFile, "(Collecting data--please don't use until finished)");
    EXPECT_EQ(acq.panel.L_FacCalTemp, "Device File Calibration Temp: 21.5");
    EXPECT_EQ(ws.acqState, WaitingForData);
    EXPECT_EQ(ws.reg.commport, 5);
    EXPECT_TRUE(ws.dataValid);

    const HYP_Data& d = *ws.data;
    EXPECT_EQ(d.instrument_type, InstrumentType::HYP);
    EXPECT_EQ(d.a_wavelengths, ws.reader->dev.a_wl);
    EXPECT_EQ(d.c_wavelengths, ws.reader->dev.c_wl);
    EXPECT_EQ(d.header_lines, ws.reader->dev.lines);
    EXPECT_EQ(d.a_coefs.size(), d.a_wavelengths.size());
    EXPECT_NEAR(d.scat_ref_a_wl, 715, 3);
    EXPECT_EQ(views.attached, ws.data.get());
    EXPECT_EQ(views.calls, (std::vector<std::string>{"AttachData", "Live"}));

    views.calls.clear();
    acq.B_StopClick();
    expect_idle(ws, acq);
    EXPECT_EQ(feed->closes, 1);
    EXPECT_EQ(ws.post.E_HYPFile, "(data not saved)");
    EXPECT_EQ(views.calls, (std::vector<std::string>{"NotLive", "AttachData"}));
    EXPECT_TRUE(ws.window.A_SaveBinary.enabled); // the capture can still be saved
}

// The controls that follow the session are what its table says once Start has opened the port
// and once Stop has finished; those the table keeps are left as they were.
TEST_F(AcquisitionStart, ControlsFollowTheSessionTable) {
    struct Step {
        const char* name;
        std::function<void()> run;
        SessionState state;
        Follow SessionControl::*column;
    };
    const Step steps[] = {
        {"Start", [&] { start(); }, SessionState::Running, &SessionControl::acquiring},
        {"Stop", [&] { acq.B_StopClick(); }, SessionState::Idle, &SessionControl::after_stop},
        {"Start again", [&] { start(); }, SessionState::Running, &SessionControl::acquiring},
        {"time-out",
         [&] {
             clock.advance_seconds(21);
             acq.Timer1Timer();
         },
         SessionState::Idle, &SessionControl::after_stop},
    };
    dialogs.message_answers = {mrCancel}; // the time-out's "Continue waiting?"
    ASSERT_GE(kSessionControls.size(), 15u);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        flip_session_flags(ws);
        const std::vector<bool> before = session_flags(ws);
        step.run();
        EXPECT_EQ(ws.session(), step.state);
        EXPECT_EQ(ws.acquiring(), step.state == SessionState::Running);
        for (std::size_t i = 0; i < kSessionControls.size(); ++i) {
            const SessionControl& c = kSessionControls[i];
            const Follow f = c.*step.column;
            const bool want = f == Follow::Keep ? before[i] : f == Follow::On;
            EXPECT_EQ(c.flag(ws), want) << c.name;
        }
    }
}

// Start is refused until the session is idle again; a start that fails on the way changes no
// control and leaves the session idle.
TEST_F(AcquisitionStart, StartOnlyFromIdle) {
    start();
    ASSERT_EQ(ws.session(), SessionState::Running);
    HYP_Data* running = ws.data.get();
    start();
    EXPECT_EQ(ws.data.get(), running);
    EXPECT_EQ(feed->opens, 1);
    acq.B_StopClick();

    const std::vector<bool> before = session_flags(ws);
    feed->fail_open = true;
    start();
    EXPECT_EQ(ws.session(), SessionState::Idle);
    EXPECT_EQ(session_flags(ws), before);
    feed->fail_open = false;
    start();
    EXPECT_EQ(ws.session(), SessionState::Running);
}

TEST_F(AcquisitionStart, FlwDeviceFileSelectsTheFlwReaderAndReferencePlot) {
    start(sample_dev("sample_flw.dev"));
    ASSERT_TRUE(acq.Timer1Enabled());
    EXPECT_EQ(ws.data->instrument_type, InstrumentType::FLW);
    EXPECT_TRUE(ws.window.A_ReferenceSpectra.enabled);
    EXPECT_EQ(ws.data->channel_is_a, ws.reader->dev.channel_is_a);
    EXPECT_EQ(ws.data->a_order, ws.reader->dev.a_order);
}

TEST_F(AcquisitionStart, DoesNothingOnThePostProcessingTabOrWhileAcquiring) {
    ws.window.tab_index = 1;
    start();
    EXPECT_FALSE(acq.Timer1Enabled());
    EXPECT_EQ(feed->opens, 0);

    ws.window.tab_index = 0;
    start();
    HYP_Data* first = ws.data.get();
    start();
    EXPECT_EQ(ws.data.get(), first);
    EXPECT_EQ(feed->opens, 1);
}

TEST_F(AcquisitionStart, FailuresBeforeRunningLeaveThePreviousDataAndReader) {
    // A data set and a reader from an earlier acquisition or load.
    ws.data->file_name = "earlier.dat";
    ws.data->records.resize(3);
    parent_reader* reader = ws.reader.get();
    HYP_Data* data = ws.data.get();
    write_text(dir.file("bad.dev"), "not a device file\n");

    struct Case {
        std::string dev;
        bool port_fails;
        std::string expected; // caption|text
    };
    const Case cases[] = {
        {sample_dev("sample_hyp.dev"), true, "Comm Error|Could Not Open COM5"},
        // A message about a file names it on its second line.
        {dir.file("bad.dev"), false,
         "|This file does not seem to be an FLW or HYP devfile.\n" + dir.file("bad.dev")},
        {dir.file("missing.dev"), false, "|Unable to open devfile.\n" + dir.file("missing.dev")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dev);
        dialogs.messages.clear();
        feed->fail_open = c.port_fails;
        start(c.dev);
        EXPECT_EQ(messages_of(dialogs), std::vector<std::string>{c.expected});
        EXPECT_EQ(ws.reader.get(), reader);
        EXPECT_EQ(ws.data.get(), data);
        EXPECT_EQ(ws.data->records.size(), 3u);
        expect_idle(ws, acq);
        EXPECT_TRUE(views.calls.empty());
    }
}

TEST_F(AcquisitionStart, UnreadableFactoryTemperatureAsksForIt) {
    write_text(dir.file("notcal.dev"), small_hyp_devfile("tcal: unknown"));

    dialogs.fac_cal_answer = mrFacCalCancelled;
    start(dir.file("notcal.dev"));
    expect_idle(ws, acq);
    EXPECT_EQ(feed->opens, 0);
    EXPECT_EQ(acq.panel.L_FacCalTemp, "Unable to parse Factory Temperature Calibration");

    dialogs.fac_cal_answer = mrFacCalValue;
    dialogs.fac_cal_value = 18.25;
    start(dir.file("notcal.dev"));
    ASSERT_TRUE(acq.Timer1Enabled());
    EXPECT_EQ(acq.panel.L_FacCalTemp, "Device File Calibration Temp: 18.2");
    EXPECT_FLOAT_EQ(ws.reader->dev.factory_cal_temp, 18.25f);
    EXPECT_FLOAT_EQ(ws.data->fac_cal_temp, 18.25);
    acq.B_StopClick();

    dialogs.fac_cal_answer = mrCancel; // the close box: the device file's own value
    start(dir.file("notcal.dev"));
    ASSERT_TRUE(acq.Timer1Enabled());
    EXPECT_EQ(acq.panel.L_FacCalTemp, "Device File Calibration Temp: 0.0");
}

// ---------------------------------------------------------------------------------------------
// Time-outs

using AcquisitionTimeouts = AcqRig;

TEST_F(AcquisitionTimeouts, NoFirstByteAsksAfterMoreThanTwentySeconds) {
    start();
    tick(0);
    EXPECT_EQ(acq.panel.L_Progress, "Waiting for data...");
    clock.advance_seconds(20);
    acq.Timer1Timer();
    EXPECT_TRUE(dialogs.messages.empty());

    dialogs.message_answers = {mrOk, mrCancel};
    clock.advance_seconds(1);
    acq.Timer1Timer();
    ASSERT_EQ(messages_of(dialogs),
              std::vector<std::string>{"No data yet...|Device timed out.  Continue waiting?"});
    EXPECT_TRUE(dialogs.messages[0].ok_cancel);
    EXPECT_EQ(ws.acqState, WaitingForData);
    EXPECT_TRUE(acq.Timer1Enabled());

    // OK waits another 21 s; Cancel stops.
    clock.advance_seconds(20);
    acq.Timer1Timer();
    EXPECT_EQ(dialogs.messages.size(), 1u);
    clock.advance_seconds(1);
    acq.Timer1Timer();
    EXPECT_EQ(dialogs.messages.size(), 2u);
    expect_idle(ws, acq);
}

TEST_F(AcquisitionTimeouts, BytesThatNeverDecodeAskAfterThirtyOneSeconds) {
    feed->add(std::vector<std::uint8_t>(500, 0x11));
    start();
    tick();
    EXPECT_EQ(ws.acqState, CheckingStream);

    dialogs.message_answers = {mrOk, mrCancel};
    clock.advance_seconds(30);
    acq.Timer1Timer();
    EXPECT_TRUE(dialogs.messages.empty());
    clock.advance_seconds(1);
    acq.Timer1Timer();
    ASSERT_EQ(messages_of(dialogs),
              std::vector<std::string>{
                  "Looks like gobbledy gook to me|Unable to parse data.  Keep trying?"});
    EXPECT_EQ(ws.acqState, CheckingStream);

    clock.advance_seconds(30);
    acq.Timer1Timer();
    EXPECT_EQ(dialogs.messages.size(), 1u);
    clock.advance_seconds(1);
    acq.Timer1Timer();
    EXPECT_EQ(dialogs.messages.size(), 2u);
    expect_idle(ws, acq);
    EXPECT_EQ(ws.acqState, WaitingForData);
}

TEST_F(AcquisitionTimeouts, SilenceWhileRunningStopsAfterMoreThanTenSeconds) {
    start_running(std::nullopt);
    stream(2);
    tick(); // new bytes: running goes on
    const std::size_t records = ws.data->records.size();
    EXPECT_GT(records, 0u);

    clock.advance_seconds(10);
    acq.Timer1Timer();
    EXPECT_TRUE(dialogs.messages.empty());
    clock.advance_seconds(1);
    acq.Timer1Timer();
    EXPECT_EQ(messages_of(dialogs),
              std::vector<std::string>{
                  "It stopped giving me data....|Device timed out.  Did it get disconnected?"});
    EXPECT_EQ(ws.acqState, StreamLost);
    EXPECT_TRUE(acq.Timer1Enabled());
    tick();
    expect_idle(ws, acq);
    // The data set keeps what was acquired, and Stop adds the last record, complete by then.
    EXPECT_EQ(ws.data->records.size(), records + 1);
}

// ---------------------------------------------------------------------------------------------
// Stream checks

using AcquisitionChecks = AcqRig;

TEST_F(AcquisitionChecks, MismatchesStopAtTheFirstRecordHeader) {
    write_text(dir.file("four.dev"), small_hyp_devfile());
    struct Case {
        const char* name;
        std::string dev;   // device file acquired with
        std::int64_t sent; // serial number the instrument sends; -1 the sample's
        std::string expected;
    };
    const std::string wl_text =
        "Odds are it's a device file mismatch|The number of wavelengths this device outputs "
        "does not match the number of wavelengths specified in the device file.  Please find "
        "the appropriate device file and try again.";
    const std::string serial_text = "Serial number mismatch|The serial number of the device "
                                    "does not match the serial number of the device file.";
    const Case cases[] = {
        {"serial", sample_dev("sample_hyp.dev"), 7, serial_text},
        // A wavelength mismatch is reported alone, whatever the serial number says.
        {"wavelengths", dir.file("four.dev"), 7, wl_text},
        {"wavelengths, same serial", dir.file("four.dev"), -1, wl_text},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.messages.clear();
        sim.reset();
        *feed = PortFeed{};
        sim::Options o;
        o.serial = c.sent;
        o.dev_path = sample_dev("sample_hyp.dev");
        stream(4, o.dev_path, o);
        start(c.dev);
        ASSERT_TRUE(acq.Timer1Enabled());
        ticks(3);
        EXPECT_EQ(messages_of(dialogs), std::vector<std::string>{c.expected});
        expect_idle(ws, acq);
        EXPECT_TRUE(dialogs.saves.empty());
    }
}

TEST_F(AcquisitionChecks, MatchingStreamAsksForTheContinuousFileWithTheDefaultName) {
    start_running(std::nullopt);
    ASSERT_EQ(dialogs.saves.size(), 1u);
    EXPECT_TRUE(
        std::regex_match(dialogs.saves[0].proposed, std::regex("hyp_66_2009030914050[0-9]\\.dat")))
        << dialogs.saves[0].proposed;
    // Cancelled: the acquisition goes on without a file, named by the default name.
    EXPECT_EQ(ws.data->file_name, dialogs.saves[0].proposed);
    EXPECT_TRUE(ws.contSaveFile.empty());
    EXPECT_TRUE(acq.Timer1Enabled());
    stream(3);
    tick();
    EXPECT_EQ(ws.data->records.size(), ws.reader->decoded_count);
    EXPECT_EQ(acq.panel.L_SizeOfFile, "");
}

// ---------------------------------------------------------------------------------------------
// The running tick

using AcquisitionRunning = AcqRig;

TEST_F(AcquisitionRunning, TickCopiesOnlyTheNewRecords) {
    start_running(std::nullopt);
    std::size_t have = ws.data->records.size();
    ASSERT_GT(have, 0u);
    // A full copy would give every record a fresh buffer; appending keeps the old ones.
    const double* first = ws.data->records[0].a_values.data();
    for (int i = 0; i < 5; ++i) {
        stream(3);
        tick();
        ASSERT_EQ(ws.data->records.size(), ws.reader->decoded_count);
        EXPECT_GT(ws.data->records.size(), have);
        have = ws.data->records.size();
    }
    EXPECT_EQ(ws.data->records[0].a_values.data(), first);
    // The records were moved: the reader holds none of them.
    EXPECT_TRUE(ws.reader->decoded_records.empty());
}

TEST_F(AcquisitionRunning, RunningTickNotifiesViewsAndAppliesThePreview) {
    start_running(std::nullopt);
    ws.preview.CB_Temp = true;
    ws.preview.E_Temp = "12.5";
    ws.preview.CB_ScatCorr = true;
    ws.preview.PD_ScatType = 0;
    ws.preview.E_ScatWL = "650";
    views.calls.clear();
    stream(2);
    tick();
    EXPECT_EQ(views.calls, (std::vector<std::string>{"NewRecords", "Refresh"}));
    const HYP_Data& d = *ws.data;
    EXPECT_TRUE(d.do_temp);
    EXPECT_DOUBLE_EQ(d.const_temp, 12.5);
    EXPECT_TRUE(d.do_scat);
    EXPECT_EQ(d.scat_method, ScatMethod::Proportional);
    EXPECT_EQ(ws.preview.E_ScatWL, text::format_g(d.scat_ref_a_wl, 15));
    EXPECT_NEAR(d.scat_ref_a_wl, 650, 5);

    // A tick without new bytes redraws nothing.
    views.calls.clear();
    tick();
    EXPECT_TRUE(views.calls.empty());
}

TEST_F(AcquisitionRunning, AutomaticTemperatureTakesTheNewestExternalTemperature) {
    start_running(std::nullopt);
    ws.window.M_AutoTemp.checked = true;
    stream(2);
    tick();
    ASSERT_FALSE(ws.reader->packets.empty());
    EXPECT_EQ(ws.preview.E_Temp,
              text::format_g(ws.reader->packets.back().external_temperature, 15));
}

TEST_F(AcquisitionRunning, ContinuousFileHoldsEveryRecordAndTheSizeLabelFollowsIt) {
    const std::string out = dir.file("live.dat");
    start_running(out);
    EXPECT_EQ(ws.contSaveFile, out);
    EXPECT_EQ(ws.window.caption, out);
    EXPECT_EQ(ws.data->file_name, out);
    for (int i = 0; i < 4; ++i) {
        stream(2);
        tick();
        EXPECT_EQ(acq.panel.L_SizeOfFile,
                  AcquisitionController::size_label(std::filesystem::file_size(out)));
    }
    stream(2);
    acq.B_StopClick();
    EXPECT_EQ(ws.post.E_HYPFile, out);
    EXPECT_FALSE(ws.data->continuous_open());
    EXPECT_EQ(ws.data->corrected_records.size(), ws.data->records.size());

    // The file reads back to exactly the acquired records.
    HYP_Data back;
    back.load_file(out, false);
    ASSERT_EQ(back.records.size(), ws.data->records.size());
    for (std::size_t i = 0; i < back.records.size(); ++i) {
        ASSERT_EQ(back.records[i].a_values.size(), ws.data->a_wavelengths.size());
        for (std::size_t k = 0; k < back.records[i].a_values.size(); ++k)
            ASSERT_NEAR_REL(back.records[i].a_values[k], ws.data->records[i].a_values[k], 1e-9);
    }
    EXPECT_EQ(back.a_wavelengths, ws.data->a_wavelengths);
    // Each line carries the instrument's external temperature as its onboard temperature.
    ASSERT_EQ(back.onboard_list.samples.size(), back.records.size());
    EXPECT_NEAR_REL(back.onboard_list.samples.back().temperature,
                    ws.reader->packets.back().external_temperature, 1e-7);
}

TEST_F(AcquisitionRunning, ContinuousFileThatFillsTheDiskStopsSavingButNotAcquiring) {
    const std::string out = dir.file("live.dat");
    start_running(out);
    tick();
    const std::uintmax_t saved_size = std::filesystem::file_size(out);
    HYP_Data before;
    before.load_file(out, false);
    ASSERT_GT(before.records.size(), 0u);

    // The file may grow by a few bytes only, as on a disk that is nearly full.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = saved_size + 100;
    ::setrlimit(RLIMIT_FSIZE, &tight);
    stream(20);
    tick();
    ::setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(messages_of(dialogs),
              std::vector<std::string>{"|Unable to write file.  Is the disk full?  Continuous "
                                       "saving has stopped; the records are still kept and can "
                                       "be saved elsewhere.\n" +
                                       out});
    EXPECT_TRUE(ws.contSaveFile.empty());
    EXPECT_FALSE(ws.data->continuous_open());
    stream(2);
    tick();
    EXPECT_EQ(ws.acqState, Running);
    EXPECT_EQ(ws.data->records.size(), ws.reader->decoded_count);
    acq.B_StopClick();
    EXPECT_EQ(ws.post.E_HYPFile, "(data not saved)");

    // What was saved before the disk filled still reads back; the cut line is left out.
    HYP_Data back;
    back.load_file(out, false);
    EXPECT_EQ(back.records.size(), before.records.size());
}

TEST_F(AcquisitionRunning, ContinuousFileThatCannotBeCreatedLeavesSavingOff) {
    const std::string out = dir.file("no/such/folder/live.dat");
    start_running(out);
    EXPECT_EQ(
        messages_of(dialogs),
        std::vector<std::string>{
            "|Unable to open file for saving.  Is this file opened in another program?\n" + out});
    EXPECT_TRUE(ws.contSaveFile.empty());
    EXPECT_NE(ws.window.caption, out);
    for (int i = 0; i < 3; ++i) {
        stream(2);
        tick();
    }
    EXPECT_EQ(ws.acqState, Running);
    EXPECT_EQ(ws.data->records.size(), ws.reader->decoded_count);
    EXPECT_EQ(acq.panel.L_SizeOfFile, "");
    acq.B_StopClick();
    EXPECT_EQ(ws.post.E_HYPFile, "(data not saved)");
    EXPECT_FALSE(std::filesystem::exists(out));
}

// ---------------------------------------------------------------------------------------------
// Labels, names and the panel's own commands

TEST(AcquisitionLabels, SizeLabel) {
    const std::pair<std::uintmax_t, const char*> cases[] = {
        {0, "File size: 0 bytes"},
        {1023, "File size: 1023 bytes"},
        {1024, "File size: 1 KB"},
        {1048575, "File size: 1023 KB"},
        {1048576, "File size: 1.0 MB"},
        {1572864, "File size: 1.5 MB"},
        {5000000000ull, "File size: 4768.4 MB"},
    };
    for (const auto& [bytes, label] : cases)
        EXPECT_EQ(AcquisitionController::size_label(bytes), label) << bytes;
}

TEST(AcquisitionLabels, DefaultNameAndClock) {
    const std::tm t = FakeClock::make_tm(2009, 3, 9, 14, 5, 7);
    EXPECT_EQ(AcquisitionController::default_acquired_name(2, 123, t),
              "flw_123_20090309140507.dat");
    EXPECT_EQ(AcquisitionController::default_acquired_name(1, 7, t), "hyp_7_20090309140507.dat");
    EXPECT_EQ(AcquisitionController::clock_label(t), "Mon Mar 09 14:05:07 2009");
    EXPECT_EQ(AcquisitionController::clock_label(FakeClock::make_tm(2026, 12, 31, 23, 59, 59)),
              "Thu Dec 31 23:59:59 2026");
}

using AcquisitionPanel = AcqRig;

TEST_F(AcquisitionPanel, DeviceChoiceAndPortAreStored) {
    dialogs.open_answers.push_back(std::nullopt);
    acq.B_DeviceClick();
    ASSERT_EQ(dialogs.opens.size(), 1u);
    EXPECT_EQ(dialogs.opens[0].title, "Choose Device File");
    EXPECT_EQ(dialogs.opens[0].filter, "Device Files (*.dev)|*.DEV|All Files|*.*");
    EXPECT_EQ(ws.E_Device, "");

    dialogs.open_answers.push_back(std::string("/x/meter.dev"));
    acq.B_DeviceClick();
    EXPECT_EQ(ws.E_Device, "/x/meter.dev");
    VelmoraSettings stored(dir.file("settings.json"));
    stored.Load();
    EXPECT_EQ(stored.devfile, "/x/meter.dev");

    ws.UD_Port = 12;
    ws.E_Device = "/y/other.dev";
    acq.SavePortAndDeviceSettings();
    stored.Load();
    EXPECT_EQ(stored.commport, 12);
    EXPECT_EQ(stored.devfile, "/y/other.dev");
}

TEST_F(AcquisitionPanel, ReferenceWavelengthStepsAndEnter) {
    start_running(std::nullopt);
    const auto& wl = ws.data->a_wavelengths;
    const std::size_t k = ws.data->scat_ref_a;
    acq.UpDown2Click(true);
    EXPECT_EQ(ws.data->scat_ref_a, k + 1);
    EXPECT_EQ(ws.preview.E_ScatWL, text::format_g(wl[k + 1], 15));
    acq.UpDown2Click(false);
    acq.UpDown2Click(false);
    EXPECT_EQ(ws.data->scat_ref_a, k - 1);

    ws.preview.E_ScatWL = "400";
    acq.E_ScatWLKeyDown2(65); // not Enter
    EXPECT_EQ(ws.data->scat_ref_a, k - 1);
    acq.E_ScatWLKeyDown2(13);
    EXPECT_EQ(ws.data->scat_ref_a, 0u);
    acq.UpDown2Click(false); // already the first channel
    EXPECT_EQ(ws.data->scat_ref_a, 0u);

    ws.dataValid = false;
    acq.UpDown2Click(true);
    EXPECT_EQ(ws.data->scat_ref_a, 0u);
}

TEST_F(AcquisitionPanel, ClockLabel) {
    acq.Timer2Timer();
    EXPECT_EQ(acq.panel.L_Clock, "Mon Mar 09 14:05:07 2009");
}

TEST_F(AcquisitionPanel, ReaderWritesThePanelLabels) {
    start_running(std::nullopt);
    EXPECT_EQ(acq.panel.L_Serial, "hyp066");
    EXPECT_EQ(acq.panel.L_TimeStamp.rfind("Time stamp: ", 0), 0u);
    EXPECT_EQ(acq.panel.L_InternalTemp.rfind("Internal temperature: ", 0), 0u);
    acq.B_StopClick();
    EXPECT_EQ(acq.panel.L_Progress, "");
}

TEST_F(AcquisitionRunning, FlwMeterIsCheckedAndSavedLikeTheHypMeter) {
    const std::string dev = sample_dev("sample_flw.dev");
    const std::string out = dir.file("flw.dat");
    stream(6, dev);
    start(dev);
    dialogs.save_answers.push_back(out);
    for (int i = 0; i < 6 && ws.acqState != Running; ++i)
        tick();
    ASSERT_EQ(ws.acqState, Running);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(acq.panel.L_Serial.rfind("flw", 0), 0u);
    ws.window.M_AutoTemp.checked = true; // the FLW meter has no external temperature
    for (int i = 0; i < 3; ++i) {
        stream(2);
        tick();
    }
    EXPECT_EQ(ws.preview.E_Temp, "21");
    acq.B_StopClick();
    ASSERT_GE(ws.data->records.size(), 50u);

    HYP_Data back;
    back.load_file(out, false);
    EXPECT_EQ(back.instrument_type, InstrumentType::FLW);
    ASSERT_EQ(back.records.size(), ws.data->records.size());
    for (std::size_t i = 0; i < back.records.size(); ++i)
        for (std::size_t k = 0; k < 9; ++k) {
            ASSERT_NEAR_REL(back.records[i].a_values[k], ws.data->records[i].a_values[k], 1e-9);
            ASSERT_NEAR_REL(back.records[i].c_values[k], ws.data->records[i].c_values[k], 1e-9);
        }
}
