// The post-processing commands driven with scripted answers: load, CTD column check and merge,
// water load, Save with its default name, and ApplyCorrectionOptions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "app_fakes.h"
#include "ctd_columns.h"
#include "post_process_controller.h"

namespace {

struct PostProcess : ::testing::Test {
    TempDir dir;
    Workspace ws;
    ScriptedDialogs dialogs;
    RecordingViews views;
    FakeClock clock;
    PostProcessController pp{AppContext{ws, dialogs, views, clock}};

    PostProcess() {
        ws.reg = VelmoraSettings(dir.file("settings.json"));
        ws.window.tab_index = 1;
    }
    std::string data_file(int records = 8) {
        std::string p = dir.file("cast1.dat");
        write_text(p, hyp_data_file(records));
        return p;
    }
    void load(int records = 8) {
        dialogs.open_answers.push_back(data_file(records));
        pp.B_OpenHYPClick();
        ASSERT_TRUE(ws.dataValid) << (dialogs.messages.empty() ? "" : dialogs.messages[0].text);
    }
};

TEST_F(PostProcess, LoadSetsPanelActionsAndViews) {
    HYP_Data* before = ws.data.get();
    ws.window.A_SaveBinary.enabled = ws.window.A_SaveFromDevice.enabled = true;
    ws.post.CB_Water = ws.post.CB_Water_visible = true;
    load();
    EXPECT_EQ(dialogs.opens.at(0).title, "Open ac file");
    EXPECT_NE(ws.data.get(), before);
    EXPECT_EQ(ws.data->records.size(), 8u);
    EXPECT_EQ(ws.post.E_HYPFile, dir.file("cast1.dat"));
    EXPECT_EQ(ws.window.caption, ws.post.E_HYPFile);
    EXPECT_FALSE(ws.window.A_SaveBinary.enabled);
    EXPECT_FALSE(ws.window.A_SaveFromDevice.enabled);
    EXPECT_FALSE(ws.window.A_Depth.enabled);
    EXPECT_TRUE(ws.window.A_LoadCTD.enabled);
    EXPECT_TRUE(ws.post.B_LoadWater_enabled);
    EXPECT_FALSE(ws.post.CB_Water);
    EXPECT_FALSE(ws.post.CB_Water_visible);
    EXPECT_EQ(views.attached, ws.data.get());
    // Attach, not live, then the options refresh every view.
    std::vector<std::string> tail(views.calls.end() - 3, views.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"AttachData", "NotLive", "Refresh"}));
    EXPECT_FALSE(ws.data->do_water || ws.data->do_temp || ws.data->do_saln || ws.data->do_scat);
}

TEST_F(PostProcess, CancelledOpenChangesNothing) {
    HYP_Data* before = ws.data.get();
    pp.B_OpenHYPClick();
    EXPECT_EQ(ws.data.get(), before);
    EXPECT_TRUE(views.calls.empty());
}

TEST_F(PostProcess, FailedLoadShowsMessageAndAttachesViewsToEmptyDataSet) {
    load();
    const std::string caption = ws.window.caption;
    std::string bad = dir.file("bad.dat");
    write_text(bad, "title\nnot a data file\n");
    dialogs.open_answers.push_back(bad);
    pp.B_OpenHYPClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Error Opening File");
    EXPECT_EQ(dialogs.messages[0].text, "File does not appear to be an HYP or FLW file.\n" + bad);
    EXPECT_FALSE(ws.dataValid);
    EXPECT_TRUE(ws.data->records.empty());
    EXPECT_EQ(views.attached, ws.data.get());
    EXPECT_EQ(ws.window.caption, caption);
    EXPECT_EQ(ws.post.E_HYPFile, dir.file("cast1.dat"));
}

TEST_F(PostProcess, LoadRunsOnTheJobRunner) {
    std::vector<std::string> jobs;
    ws.job_runner = [&](const std::string& label, const std::function<void()>& job) {
        jobs.push_back(label);
        job();
    };
    load();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0], "Loading " + dir.file("cast1.dat"));
}

TEST_F(PostProcess, CtdLoadMergesSwitchesSourcesAndRemembersColumns) {
    load(5);
    std::string ctd = dir.file("cast1_ctd.txt");
    // time, pressure, temperature, (unused), salinity
    write_text(ctd, "Time Pres Temp X Saln\n0 1.5 12 0 33\n600 2.5 13 0 34\n1200 3.5 14 0 35\n");
    dialogs.open_answers.push_back(ctd);
    dialogs.ctd_columns_answer = CtdColumns{1, 2, 3, 5};
    pp.B_OpenCTDClick();
    ASSERT_TRUE(dialogs.messages.empty()) << dialogs.messages[0].text;
    EXPECT_EQ(dialogs.opens.back().title, "Open CTD file");
    EXPECT_EQ(ws.post.E_CTDFile, ctd);
    EXPECT_TRUE(ws.data->ctd_loaded);
    EXPECT_TRUE(ws.data->ctd_merged);
    EXPECT_EQ(ws.post.PD_Temp_items,
              (std::vector<std::string>{"Constant", "CTD File", "Onboard Sensors"}));
    EXPECT_EQ(ws.post.PD_Saln_items, (std::vector<std::string>{"Constant", "CTD File"}));
    EXPECT_EQ(ws.post.PD_Temp, 1);
    EXPECT_EQ(ws.post.PD_Saln, 1);
    EXPECT_FALSE(ws.post.E_Temp_visible);
    EXPECT_TRUE(ws.post.CB_Temp && ws.post.CB_Saln);
    EXPECT_EQ(ws.data->temp_source, TempSource::CTD);
    EXPECT_EQ(ws.data->saln_source, SalnSource::CTD);
    EXPECT_TRUE(ws.data->do_temp && ws.data->do_saln);
    EXPECT_TRUE(ws.window.A_Depth.enabled);
    // Record 3 (750 ms) is nearest the sample at 600 ms.
    ASSERT_EQ(ws.data->ctd_list.samples.size(), 5u);
    EXPECT_DOUBLE_EQ(ws.data->ctd_list.samples[3].pressure, 2.5);
    EXPECT_DOUBLE_EQ(ws.data->ctd_list.samples[3].salinity, 34);

    VelmoraSettings stored(dir.file("settings.json"));
    stored.Load();
    EXPECT_EQ(stored.ctd_time, 1);
    EXPECT_EQ(stored.ctd_pres, 2);
    EXPECT_EQ(stored.ctd_temp, 3);
    EXPECT_EQ(stored.ctd_saln, 5);
}

// Records whose merged sample is far from them keep the nearest one, and the status bar says
// how many they are.
TEST_F(PostProcess, CtdMergeReportsRecordsWithoutANearSample) {
    struct Case {
        const char* log;
        std::string status;
    };
    const Case cases[] = {
        {"Time Pres Temp X Saln\n0 1.5 12 0 33\n600 2.5 13 0 34\n", ""},
        {"Time Pres Temp X Saln\n500000 1.5 12 0 33\n500600 2.5 13 0 34\n",
         "5 records have no CTD sample within 60 s; the nearest sample was used."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.log);
        load(5);
        ws.window.status.clear();
        const std::string ctd = dir.file("cast1_ctd.txt");
        write_text(ctd, c.log);
        dialogs.ctd_columns_answer = CtdColumns{1, 2, 3, 5};
        ASSERT_TRUE(pp.LoadCtdFile(ctd));
        EXPECT_TRUE(ws.data->ctd_merged);
        EXPECT_EQ(ws.window.status, c.status);
    }
}

// The dialog's time format and lag are kept with the columns and used for the reading; records
// with no sample within 60 s of clock time get NaN, and the status bar says what was skipped.
TEST_F(PostProcess, CtdClockTimesUseTheStartTimeTheLagAndTheNaNRule) {
    load(5); // records at 0, 250, ... 1000 ms
    const std::string ctd = dir.file("cast1_ctd.txt");
    write_text(ctd, "Time Pres Temp X Saln\n"
                    "2024-03-15T12:00:30.250Z 1.5 12 0 33\n"
                    "pump off\n"
                    "2024-03-15T12:00:30.850Z 2.5 13 0 34\n");
    dialogs.ctd_columns_answer = CtdColumns{1, 2, 3, 5, CtdTimeFormat::Iso, -60.5};
    // Clock times need the data set's start time.
    EXPECT_FALSE(pp.LoadCtdFile(ctd));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, kCtdNeedsStartTime);
    EXPECT_FALSE(ws.data->ctd_loaded);

    // Later runs of the dialog start from the stored choice.
    dialogs.ctd_columns_answer.reset();
    ws.data->start_utc = 1710504030250; // 2024-03-15T12:00:30.250Z
    ASSERT_TRUE(pp.LoadCtdFile(ctd));
    EXPECT_EQ(ws.window.status, "Skipped 1 CTD lines whose time could not be read.  4 records "
                                "have no CTD sample within 60 s.");
    // The samples lie at -60.5 and -59.9 s: record 0 is within 60 s of the second.
    const std::vector<ctd_struct>& m = ws.data->ctd_list.samples;
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[0].temperature, 13);
    for (std::size_t r = 1; r < 5; ++r)
        EXPECT_TRUE(std::isnan(m[r].temperature) && std::isnan(m[r].salinity)) << r;
    EXPECT_TRUE(std::isnan(ws.data->correct_one_line(1).a_values[0]));
    EXPECT_FALSE(std::isnan(ws.data->correct_one_line(0).a_values[0]));

    VelmoraSettings stored(dir.file("settings.json"));
    stored.Load();
    EXPECT_EQ(stored.ctd_time_format, "iso");
    EXPECT_EQ(stored.ctd_lag_s, -60.5);
}

// A file of corrected data is shown as it is: every correction stays off whatever the panel
// says, nothing more can be merged, loaded or saved corrected, and the panel says why.  Another
// data file opens the corrections again.
TEST_F(PostProcess, CorrectedFileIsShownWithTheCorrectionsOff) {
    load(6);
    const std::string corrected = dir.file("cast1_corrected.dat");
    ws.data->fill_corrected_records();
    ws.data->save_corrected(corrected, true, false);

    ASSERT_TRUE(pp.LoadDataFile(corrected));
    EXPECT_EQ(ws.data->records.size(), 6u);
    EXPECT_FALSE(ws.post.corrections_enabled);
    EXPECT_EQ(ws.post.corrections_note,
              "This file is already corrected; correct the instrument data file instead.");
    EXPECT_EQ(ws.window.status, ws.post.corrections_note);

    ws.post.CB_Temp = ws.post.CB_Saln = ws.post.CB_ScatCorr = ws.post.CB_Water = true;
    pp.ApplyCorrectionOptions();
    EXPECT_FALSE(ws.data->do_temp || ws.data->do_saln || ws.data->do_scat || ws.data->do_water);

    dialogs.open_answers = {dir.file("x.txt"), dir.file("x.wcf")};
    pp.B_OpenCTDClick();
    pp.B_LoadWaterClick();
    pp.B_SavePostClick();
    EXPECT_FALSE(pp.LoadCtdFile(dir.file("x.txt")));
    EXPECT_FALSE(pp.LoadWaterFile(dir.file("x.wcf")));
    EXPECT_TRUE(dialogs.saves.empty());
    EXPECT_TRUE(dialogs.ctd_paths.empty());
    EXPECT_TRUE(dialogs.messages.empty());

    load(4);
    EXPECT_TRUE(ws.post.corrections_enabled);
    EXPECT_TRUE(ws.post.corrections_note.empty());
    pp.ApplyCorrectionOptions();
    EXPECT_TRUE(ws.data->do_temp && ws.data->do_scat);
}

// A save that fails names the file it could not write on the message's second line.
TEST_F(PostProcess, FailedSaveNamesTheFile) {
    load();
    const std::string target = dir.file("no/such/folder/out.dat");
    dialogs.save_answers.push_back(target);
    try {
        pp.B_SavePostClick();
        FAIL() << "the save did not fail";
    } catch (const VelmoraError& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.substr(text.find('\n') + 1), target) << text;
        EXPECT_EQ(text.rfind("Unable to open file for saving.", 0), 0u) << text;
    }
}

TEST_F(PostProcess, CtdDialogGetsStoredColumnsAndCancelStops) {
    load();
    ws.reg.ctd_time = 4;
    dialogs.open_answers.push_back(dir.file("x.txt"));
    dialogs.ctd_answers.push_back(mrCancel);
    CtdColumns seen;
    pp.B_OpenCTDClick();
    EXPECT_EQ(dialogs.ctd_paths.size(), 1u);
    EXPECT_FALSE(ws.data->ctd_loaded);
    EXPECT_EQ(ws.post.E_CTDFile, "");
    (void)seen;
}

TEST_F(PostProcess, CtdPreviewFailureIsReportedWithItsCaption) {
    load();
    dialogs.open_answers.push_back(dir.file("missing.txt"));
    dialogs.ctd_throws = true;
    pp.B_OpenCTDClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Unable to open file.\n" + dir.file("missing.txt"));
    EXPECT_EQ(dialogs.messages[0].caption, "Error opening file");
    EXPECT_FALSE(ws.data->ctd_loaded);
}

TEST_F(PostProcess, CtdReadFailureStopsAfterItsMessage) {
    load();
    dialogs.open_answers.push_back(dir.file("vanished.txt"));
    pp.B_OpenCTDClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Unable to open file.\n" + dir.file("vanished.txt"));
    EXPECT_EQ(dialogs.messages[0].caption, "");
    EXPECT_FALSE(ws.data->ctd_merged);
    EXPECT_FALSE(ws.window.A_Depth.enabled);
    EXPECT_EQ(ws.post.PD_Temp, 0);
}

TEST_F(PostProcess, CtdAndWaterCannotStartBeforeADataFile) {
    dialogs.open_answers.push_back(dir.file("x.txt"));
    pp.B_OpenCTDClick();
    pp.B_LoadWaterClick();
    EXPECT_TRUE(dialogs.opens.empty());
}

TEST_F(PostProcess, WaterLoadChecksApplyWaterCalibration) {
    load();
    std::string wcf = dir.file("water.wcf");
    write_text(wcf, "File created by Velmora version 2.0\n"
                    "Water Calibration File: 1.0\n"
                    "This file was created on Mon Mar  9 14:05:07 2009\n"
                    "Serial Number: 123\n"
                    "Water Calibration Temperature: 19.54\n"
                    "Number of wavelengths: 4\n"
                    "0\tc400.5\tc500\tc600\tc715\ta402\ta502\ta602\ta715\t\n"
                    "0\t0.01\t0.02\t0.03\t0.04\t0.05\t0.06\t0.07\t0.08\t");
    dialogs.open_answers.push_back(wcf);
    pp.B_LoadWaterClick();
    ASSERT_TRUE(dialogs.messages.empty()) << dialogs.messages[0].text;
    EXPECT_EQ(dialogs.opens.back().title, "Open Water Blank");
    EXPECT_EQ(dialogs.opens.back().filter, "Water Calibration Files|*.wcf|All Files|*.*");
    EXPECT_EQ(ws.window.open_filter, "All Files|*.*");
    EXPECT_EQ(ws.post.L_WaterTemp, "Water Calibration Temperature: 19.5");
    EXPECT_TRUE(ws.post.L_WaterTemp_visible);
    EXPECT_EQ(ws.post.E_Water, wcf);
    EXPECT_TRUE(ws.post.CB_Water && ws.post.CB_Water_visible);
    EXPECT_TRUE(ws.data->do_water);
}

TEST_F(PostProcess, FailedWaterLoadLeavesThePanelAsBefore) {
    load();
    const PostPanelState before = ws.post;
    dialogs.open_answers.push_back(dir.file("missing.wcf"));
    pp.B_LoadWaterClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Error loading file");
    EXPECT_EQ(ws.post.E_Water, before.E_Water);
    EXPECT_EQ(ws.post.CB_Water, before.CB_Water);
    EXPECT_EQ(ws.post.L_WaterTemp_visible, before.L_WaterTemp_visible);
    EXPECT_FALSE(ws.data->do_water);
    // The filter is put back also when the user cancels.
    ws.window.open_filter = "x";
    pp.B_LoadWaterClick();
    EXPECT_EQ(ws.window.open_filter, "All Files|*.*");
}

TEST_F(PostProcess, SaveProposesDefaultNameAndWritesCorrectedFile) {
    load(3);
    dialogs.save_answers.push_back(dir.file("out.dat"));
    pp.B_SavePostClick();
    ASSERT_EQ(dialogs.saves.size(), 1u);
    EXPECT_EQ(dialogs.saves[0].proposed, dir.file("cast1") + "_corrected_20090309140507.dat");
    EXPECT_EQ(ws.data->corrected_records.size(), 3u);
    EXPECT_TRUE(std::filesystem::exists(dir.file("out.dat")));
}

TEST_F(PostProcess, DefaultNameCases) {
    struct Case {
        std::string file;
        std::string expected;
    } cases[] = {
        {"C:\\data\\cast1.dat", "C:\\data\\cast1_corrected_20090309140507.dat"},
        {"abc", "abc_corrected_20090309140507.dat"},
        {"", "_corrected_20090309140507.dat"},
    };
    for (const auto& c : cases) {
        ws.data->file_name = c.file;
        EXPECT_EQ(pp.DefaultCorrectedName(), c.expected) << c.file;
    }
    clock.advance_seconds(3600 * 10 + 55); // rolls over into the next day
    ws.data->file_name = "a.dat";
    EXPECT_EQ(pp.DefaultCorrectedName(), "a_corrected_20090310000602.dat");
}

TEST_F(PostProcess, CancelledSaveWritesNothing) {
    load(3);
    pp.B_SavePostClick();
    EXPECT_TRUE(ws.data->corrected_records.empty());
}

TEST_F(PostProcess, ApplyReadsThePostPanel) {
    load();
    struct Case {
        int scat_index;
        int method;
    } cases[] = {{0, 2}, {1, 1}, {2, 3}, {-1, 3}, {7, 3}};
    ws.post.CB_Temp = true;
    ws.post.E_Temp = "12.5";
    ws.post.E_Saln = "junk";
    ws.post.CB_ScatCorr = true;
    for (const auto& c : cases) {
        ws.post.PD_ScatType = c.scat_index;
        pp.ApplyCorrectionOptions();
        EXPECT_EQ(static_cast<int>(ws.data->scat_method), c.method) << c.scat_index;
    }
    EXPECT_TRUE(ws.data->do_temp);
    EXPECT_FALSE(ws.data->do_saln);
    EXPECT_TRUE(ws.data->do_scat);
    EXPECT_DOUBLE_EQ(ws.data->const_temp, 12.5);
    EXPECT_DOUBLE_EQ(ws.data->const_saln, 0.0);
    EXPECT_EQ(views.calls.back(), "Refresh");

    ws.post.E_Temp = "12,75"; // typed by a user of a decimal-comma locale
    pp.ApplyCorrectionOptions();
    EXPECT_DOUBLE_EQ(ws.data->const_temp, 12.75);
}

TEST_F(PostProcess, ApplyWritesTheChosenReferenceWavelengthBack) {
    load();
    ws.post.E_ScatWL = "600";
    pp.ApplyCorrectionOptions();
    EXPECT_EQ(ws.post.E_ScatWL, "602");
    EXPECT_EQ(ws.data->scat_ref_a, 2u);
}

TEST_F(PostProcess, CtdSourceWithoutMergeSnapsBackToConstant) {
    load();
    ws.post.E_Temp_visible = false;
    pp.PD_TempChange(1);
    EXPECT_EQ(ws.post.PD_Temp, 0);
    EXPECT_TRUE(ws.post.E_Temp_visible);
    EXPECT_EQ(ws.data->temp_source, TempSource::Constant);
    pp.PD_SalnChange(1);
    EXPECT_EQ(ws.post.PD_Saln, 0);
    EXPECT_TRUE(ws.post.E_Saln_visible);
}

TEST_F(PostProcess, TypedTextInASourceListRaisesMyLunch) {
    load();
    ws.post.PD_Temp = -1;
    try {
        pp.ApplyCorrectionOptions();
        FAIL() << "no error";
    } catch (const VelmoraError& e) {
        EXPECT_STREQ(e.what(), "my lunch");
    }
    ws.post.PD_Temp = 0;
    ws.post.PD_Saln = -1;
    EXPECT_THROW(pp.ApplyCorrectionOptions(), VelmoraError);
    // Index 2 of the salinity list keeps the source.
    ws.post.PD_Saln = 2;
    ws.data->saln_source = SalnSource::Onboard;
    pp.ApplyCorrectionOptions();
    EXPECT_EQ(ws.data->saln_source, SalnSource::Onboard);
}

// The onboard temperature source needs onboard temperatures: on a data file without them the
// choice says so and falls back to the constant; a file with them takes the source.
TEST_F(PostProcess, OnboardTemperatureSourceNeedsOnboardTemperatures) {
    struct Case {
        bool onboard_column;
        TempSource source;
        int list_index;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {true, TempSource::Onboard, 2, {}},
        {false, TempSource::Constant, 0, {"|This data file holds no onboard temperature."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.onboard_column);
        std::string text = hyp_data_file(5);
        const std::string with = "\t15\tx\t", without = "\t0\tx\t";
        if (!c.onboard_column) // no sensor: the column reads 0 on every line
            for (std::size_t at = text.find(with); at != std::string::npos;
                 at = text.find(with, at))
                text.replace(at, with.size(), without);
        write_text(dir.file("cast.dat"), text);
        ASSERT_TRUE(pp.LoadDataFile(dir.file("cast.dat")));
        dialogs.messages.clear();
        ws.post.CB_Temp = true;
        ws.post.E_Temp = "12";
        pp.PD_TempChange(2);
        EXPECT_EQ(messages_of(dialogs), c.messages);
        EXPECT_EQ(ws.data->temp_source, c.source);
        EXPECT_EQ(ws.post.PD_Temp, c.list_index);
        EXPECT_TRUE(ws.post.E_Temp_visible);
        EXPECT_TRUE(ws.data->do_temp);
        EXPECT_EQ(ws.data->const_temp, 12.0);
    }
}

TEST_F(PostProcess, ApplyWithoutRecordsDoesNothing) {
    ws.post.PD_Temp = -1;
    EXPECT_NO_THROW(pp.ApplyCorrectionOptions());
    EXPECT_TRUE(views.calls.empty());
}

TEST_F(PostProcess, ApplyOnAcquisitionTabReadsPreview) {
    load();
    ws.window.tab_index = 0;
    ws.post.PD_Temp = -1; // not read on this tab
    ws.preview.CB_Saln = true;
    ws.preview.E_Saln = "34";
    ws.preview.PD_ScatType = 0;
    ws.preview.E_ScatWL = "710";
    ws.data->temp_source = TempSource::CTD;
    pp.ApplyCorrectionOptions();
    EXPECT_TRUE(ws.data->do_saln);
    EXPECT_DOUBLE_EQ(ws.data->const_saln, 34);
    EXPECT_EQ(ws.data->scat_method, ScatMethod::Proportional);
    EXPECT_EQ(ws.data->temp_source, TempSource::Constant);
    EXPECT_EQ(ws.preview.E_ScatWL, "715");
}

TEST_F(PostProcess, ReferenceUpDownStopsAtTheEnds) {
    load();
    ws.post.E_ScatWL = "715";
    pp.ApplyCorrectionOptions();
    pp.UpDown1Click(true); // already the last a wavelength
    EXPECT_EQ(ws.post.E_ScatWL, "715");
    pp.UpDown1Click(false);
    EXPECT_EQ(ws.post.E_ScatWL, "602");
    pp.UpDown1Click(false);
    pp.UpDown1Click(false);
    pp.UpDown1Click(false);
    EXPECT_EQ(ws.post.E_ScatWL, "402");
    EXPECT_EQ(ws.data->scat_ref_a, 0u);
}

TEST_F(PostProcess, ReferenceCommandsWaitForData) {
    ws.post.E_ScatWL = "500";
    pp.UpDown1Click(true);
    pp.E_ScatWLKeyDown1(13);
    EXPECT_EQ(ws.post.E_ScatWL, "500");
    load();
    ws.post.E_ScatWL = "500";
    pp.E_ScatWLKeyDown1(65);
    EXPECT_EQ(ws.post.E_ScatWL, "500");
    pp.E_ScatWLKeyDown1(13);
    EXPECT_EQ(ws.post.E_ScatWL, "502");
    EXPECT_EQ(ws.data->scat_ref_a, 1u);
}

// ---- TF_LoadCTD logic

TEST(CtdColumnCheck, CountsColumns) {
    struct Case {
        const char* line;
        int columns;
    } cases[] = {{"1 2 3", 3}, {"  1\t2  3  ", 3}, {"", 1}, {"\t", 0}, {"a", 1}, {"1 2 3 \r", 3}};
    for (const auto& c : cases)
        EXPECT_EQ(ctd_columns::count_columns(c.line), c.columns) << '"' << c.line << '"';
}

TEST(CtdColumnCheck, NamesTheLastInvalidColumn) {
    struct Case {
        ctd_columns::FieldTexts fields;
        const char* error;
    } cases[] = {
        {{"1", "2", "3", "5"}, ""},
        {{"1", "2", "3", "6"}, "The Salinity column has an invalid value."},
        {{"0", "2", "3", "5"}, "The Time column has an invalid value."},
        {{"1", "-2", "9", "5"}, "The Pressure column has an invalid value."},
        {{"1", "2", "x", "5"}, "The Temperature column has an invalid value."},
        {{"0", "0", "0", "0"}, "The Time column has an invalid value."},
        {{"1", "7", "3", "7"}, "The Salinity column has an invalid value."},
        {{" 2 ", "2", "2", "2"}, ""},
        {{"2x", "2", "2", "2"}, "The Time column has an invalid value."},
    };
    for (const auto& c : cases) {
        std::string error;
        auto cols = ctd_columns::accept(c.fields, "1 2 3 4 5", error);
        EXPECT_EQ(error, c.error) << c.fields.time << c.fields.pres << c.fields.temp
                                  << c.fields.saln;
        EXPECT_EQ(cols.has_value(), std::string(c.error).empty());
    }
    std::string error;
    auto cols = ctd_columns::accept({"4", "2", "3", "5"}, "1 2 3 4 5", error);
    ASSERT_TRUE(cols);
    EXPECT_EQ(cols->time, 4);
    EXPECT_EQ(cols->pres, 2);
    EXPECT_EQ(cols->temp, 3);
    EXPECT_EQ(cols->saln, 5);
}

TEST(CtdColumnCheck, LagIsSecondsWithinADay) {
    const struct {
        const char* text;
        std::optional<double> lag;
    } cases[] = {{"-2.5", -2.5}, {" 3,25 ", 3.25}, {"", 0.0},        {"86400", 86400.0},
                 {"2.5s", {}},   {"x", {}},        {"-86400.5", {}}, {"nan", {}}};
    for (const auto& c : cases)
        EXPECT_EQ(ctd_columns::accept_lag(c.text), c.lag) << '"' << c.text << '"';
}

TEST(CtdColumnCheck, PreviewHasHundredLinesAndShortFilesAcceptOnlyColumnOne) {
    TempDir dir;
    std::string p = dir.file("short.txt");
    write_text(p, "h1\r\n1 2 3 4 5\r\n");
    auto lines = ctd_columns::read_preview(p);
    ASSERT_EQ(lines.size(), 100u);
    EXPECT_EQ(lines[1], "1 2 3 4 5");
    EXPECT_EQ(lines[ctd_columns::kCheckLine], "");
    std::string error;
    EXPECT_TRUE(ctd_columns::accept({"1", "1", "1", "1"}, lines[ctd_columns::kCheckLine], error));
    EXPECT_FALSE(ctd_columns::accept({"1", "2", "1", "1"}, lines[ctd_columns::kCheckLine], error));

    std::string long_file = dir.file("long.txt");
    std::string text;
    for (int i = 0; i < 150; ++i)
        text += (i == 98 ? "1 2 3 4 5 6 7" : std::to_string(i)) + "\n";
    write_text(long_file, text);
    lines = ctd_columns::read_preview(long_file);
    EXPECT_EQ(lines.size(), 100u);
    EXPECT_EQ(ctd_columns::count_columns(lines[ctd_columns::kCheckLine]), 7);

    EXPECT_THROW(ctd_columns::read_preview(dir.file("none.txt")), VelmoraError);
}

} // namespace
