// The binary capture replay and the commands that save acquired data.
#include <filesystem>

#include <gtest/gtest.h>

#include "acq_fixture.h"
#include "acquired_data_commands.h"
#include "products.h"
#include "replay_controller.h"

namespace {

std::size_t data_lines(const std::string& path) {
    HYP_Data d;
    d.load_file(path, false);
    return d.records.size();
}

} // namespace

class Replay : public AcqRig {
  protected:
    ReplayController replay{AppContext{ws, dialogs, views, clock}, acq};

    std::string capture(const std::string& dev, std::size_t records, const char* name) {
        sim::Options o;
        o.dev_path = dev;
        o.model = peek_device_kind(dev) == DeviceKind::FLW ? sim::Model::FLW : sim::Model::HYP;
        const std::string path = dir.file(name);
        sim::write_capture(o, records, path);
        return path;
    }
};

TEST_F(Replay, DecodesTheCaptureIntoTheCurrentDataSet) {
    const std::string dev = sample_dev("sample_hyp.dev");
    const std::string bin = capture(dev, 20, "hyp.bin");
    ws.E_Device = dev;
    ws.window.tab_index = 1;
    ws.data->file_name = "/data/cast1.dat";
    ws.data->do_temp = true;
    // Positions and products of the records the replay replaces.
    ws.data->gps_merged = true;
    ws.data->lat_list.assign(20, 54.0);
    ws.data->lon_list.assign(20, 8.0);
    ws.data->record_products = std::make_shared<ProductTable>();
    HYP_Data* data = ws.data.get();
    parent_reader* old_reader = ws.reader.get();

    dialogs.open_answers.push_back(bin);
    replay.M_OpenBinaryClick();
    ASSERT_EQ(dialogs.opens.size(), 1u);
    EXPECT_EQ(dialogs.opens[0].title, "Open Raw Binary Data");
    EXPECT_EQ(dialogs.opens[0].filter, "Binary Files|*.bin|All Files|*.*");
    EXPECT_TRUE(dialogs.messages.empty());

    EXPECT_EQ(ws.data.get(), data); // the same data set object
    EXPECT_NE(ws.reader.get(), old_reader);
    EXPECT_EQ(ws.data->file_name, "/data/cast1.dat");
    EXPECT_EQ(ws.data->records.size(), 20u); // the last record too, at the end of the capture
    EXPECT_EQ(ws.data->records.size(), ws.reader->decoded_count);
    EXPECT_EQ(ws.data->a_wavelengths, ws.reader->dev.a_wl);
    EXPECT_EQ(ws.data->header_lines, ws.reader->dev.lines);
    EXPECT_EQ(ws.data->instrument_type, InstrumentType::HYP);
    EXPECT_FALSE(ws.data->do_temp);
    EXPECT_FALSE(ws.data->gps_merged);
    EXPECT_TRUE(ws.data->lat_list.empty());
    EXPECT_EQ(ws.data->record_products, nullptr);
    EXPECT_TRUE(ws.dataValid);
    EXPECT_EQ(ws.window.tab_index, 0);
    EXPECT_FALSE(ws.window.A_ReferenceSpectra.enabled);
    EXPECT_EQ(views.calls, (std::vector<std::string>{"AttachData", "NotLive"}));
    EXPECT_EQ(acq.panel.L_Serial, "hyp066"); // the reader's labels are written as when live
}

TEST_F(Replay, FlwCaptureEnablesTheReferencePlot) {
    const std::string dev = sample_dev("sample_flw.dev");
    ws.E_Device = dev;
    ASSERT_TRUE(replay.replay(capture(dev, 5, "flw.bin")));
    EXPECT_EQ(ws.data->instrument_type, InstrumentType::FLW);
    EXPECT_EQ(ws.data->records.size(), ws.reader->decoded_count);
    EXPECT_GE(ws.data->records.size(), 30u);
    EXPECT_TRUE(ws.window.A_ReferenceSpectra.enabled);
    EXPECT_EQ(ws.data->channel_is_a, ws.reader->dev.channel_is_a);
}

TEST_F(Replay, FailuresLeaveDataSetAndReaderAsTheyWere) {
    const std::string hyp_dev = sample_dev("sample_hyp.dev");
    write_text(dir.file("empty.bin"), "");
    write_text(dir.file("bad.dev"), "neither\n");
    write_text(dir.file("broken.dev"), "HYP but nothing else\n");
    const std::string hyp_bin = capture(hyp_dev, 5, "hyp.bin");

    ws.data->records.resize(2);
    ws.data->a_wavelengths = {1, 2};
    HYP_Data* data = ws.data.get();
    parent_reader* reader = ws.reader.get();

    struct Case {
        std::string dev, bin, expected;
    };
    const Case cases[] = {
        // Each message names the file it is about on its second line.
        {dir.file("bad.dev"), hyp_bin,
         "Unable to parse device file|Invalid device file\n" + dir.file("bad.dev")},
        {hyp_dev, dir.file("empty.bin"),
         "Unable to collect data from file|Unable to read binary file.  Do you have the right "
         "devfile specified?\n" +
             dir.file("empty.bin")},
        {hyp_dev, dir.file("missing.bin"),
         "|Unable to open binary file.\n" + dir.file("missing.bin")},
        // An FLW device file for an HYP capture: nothing decodes.
        {sample_dev("sample_flw.dev"), hyp_bin,
         "Unable to collect data from file|Unable to read binary file.  Do you have the right "
         "devfile specified?\n" +
             hyp_bin},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dev + " " + c.bin);
        dialogs.messages.clear();
        ws.E_Device = c.dev;
        EXPECT_FALSE(replay.replay(c.bin));
        const auto got = messages_of(dialogs);
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back(), c.expected);
        EXPECT_EQ(ws.data.get(), data);
        EXPECT_EQ(ws.reader.get(), reader);
        EXPECT_EQ(ws.data->records.size(), 2u);
        EXPECT_EQ(ws.data->a_wavelengths, (std::vector<double>{1, 2}));
        EXPECT_TRUE(views.calls.empty());
    }
}

TEST_F(Replay, NotOfferedWhileAcquiring) {
    start();
    ASSERT_TRUE(ws.acquiring());
    dialogs.open_answers.push_back(dir.file("x.bin"));
    replay.M_OpenBinaryClick();
    EXPECT_TRUE(dialogs.opens.empty());
}

// ---------------------------------------------------------------------------------------------

class SaveAcquired : public AcqRig {
  protected:
    AcquiredDataCommands cmd{AppContext{ws, dialogs, views, clock}, acq};
};

TEST_F(SaveAcquired, RawCaptureOnlyOnceRecordsAreDecoded) {
    cmd.A_SaveBinaryClick();
    EXPECT_TRUE(dialogs.saves.empty());

    start_running(std::nullopt);
    ws.data->file_name = "/data/hyp_123_20090309140507.dat";
    const std::string out = dir.file("raw.bin");
    dialogs.save_answers.push_back(out);
    cmd.A_SaveBinaryClick();
    ASSERT_EQ(dialogs.saves.size(), 2u);
    EXPECT_EQ(dialogs.saves[1].proposed, "/data/hyp_123_20090309140507.bin");
    EXPECT_EQ(std::filesystem::file_size(out), ws.reader->raw_bytes.size());
}

TEST_F(SaveAcquired, DuringAcquisitionWithoutContinuousSavingTheChoiceDecides) {
    start_running(std::nullopt);
    stream(3);
    tick();
    const std::size_t so_far = ws.data->records.size();

    // "Just save what has been read"
    dialogs.cont_saving_answer = mrCancel;
    const std::string snapshot = dir.file("snapshot.dat");
    dialogs.save_answers.push_back(snapshot);
    cmd.A_SaveFromDeviceExecute();
    EXPECT_EQ(data_lines(snapshot), so_far);
    EXPECT_EQ(ws.window.caption, snapshot);
    EXPECT_TRUE(ws.contSaveFile.empty());

    // "Save and continuing saving to file": all so far at once, then every tick.
    dialogs.cont_saving_answer = mrOk;
    const std::string live = dir.file("live.dat");
    dialogs.save_answers.push_back(live);
    cmd.A_SaveFromDeviceExecute();
    EXPECT_EQ(ws.contSaveFile, live);
    EXPECT_EQ(ws.window.caption, live);
    EXPECT_EQ(data_lines(live), so_far);
    stream(3);
    tick();
    acq.B_StopClick();
    EXPECT_EQ(ws.post.E_HYPFile, live);
    EXPECT_EQ(data_lines(live), ws.reader->decoded_count);
    EXPECT_GT(ws.reader->decoded_count, so_far);
}

TEST_F(SaveAcquired, DuringContinuousSavingAskFirst) {
    const std::string live = dir.file("live.dat");
    start_running(live);
    stream(2);
    tick();

    dialogs.message_answers = {mrCancel};
    cmd.A_SaveFromDeviceExecute();
    ASSERT_EQ(messages_of(dialogs),
              std::vector<std::string>{"You're still in the middle of things....|You are still "
                                       "collecting data.  The file will only contain data up to "
                                       "this point.  Continue saving?"});
    EXPECT_EQ(dialogs.saves.size(), 1u); // no save dialog after Cancel

    dialogs.message_answers = {mrOk};
    const std::string copy = dir.file("copy.dat");
    dialogs.save_answers.push_back(copy);
    cmd.A_SaveFromDeviceExecute();
    EXPECT_EQ(data_lines(copy), ws.data->records.size());
    EXPECT_EQ(ws.contSaveFile, live); // the continuous file is not affected
    EXPECT_EQ(ws.window.caption, copy);
}

TEST_F(SaveAcquired, AfterStopSavesWithoutQuestion) {
    start_running(std::nullopt);
    acq.B_StopClick();
    const std::string out = dir.file("after.dat");
    dialogs.save_answers.push_back(out);
    cmd.A_SaveFromDeviceExecute();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(data_lines(out), ws.data->records.size());
}

TEST_F(SaveAcquired, PreviewCorrectedFile) {
    start_running(std::nullopt);
    acq.B_StopClick();
    ws.data->file_name = dir.file("hyp_66_20090309140507.dat");
    ws.preview.CB_Temp = true;
    ws.preview.E_Temp = "15";
    ws.preview.PD_ScatType = 1;
    const std::string out = dir.file("hyp_66_20090309140507_previewcorrected.dat");
    dialogs.save_answers.push_back(out);
    cmd.A_SaveWCorrectionsExecute();
    ASSERT_EQ(dialogs.saves.back().proposed, out);
    EXPECT_TRUE(std::filesystem::exists(out));
    EXPECT_TRUE(ws.data->do_temp);
    EXPECT_FALSE(ws.data->do_scat);
    EXPECT_DOUBLE_EQ(ws.data->const_temp, 15);
    EXPECT_EQ(ws.data->corrected_records.size(), ws.data->records.size());
}

TEST(SaveAcquiredNames, ProposedNames) {
    EXPECT_EQ(AcquiredDataCommands::raw_capture_name("C:\\data\\hyp_123_20090309140507.dat"),
              "C:\\data\\hyp_123_20090309140507.bin");
    EXPECT_EQ(AcquiredDataCommands::preview_corrected_name("/d/flw_1_x.dat"),
              "/d/flw_1_x_previewcorrected.dat");
    EXPECT_EQ(AcquiredDataCommands::preview_corrected_name("ab"), "ab_previewcorrected.dat");
}
