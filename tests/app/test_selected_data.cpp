// The selected-data window's logic: picked records and ranges, rows and curves, removal and
// the three save commands.
#include <gtest/gtest.h>

#include "app_fakes.h"
#include "core/test_util.h"
#include "selected_data_controller.h"

namespace {

struct SelectedData : ::testing::Test {
    TempDir dir;
    Workspace ws;
    ScriptedDialogs dialogs;
    RecordingViews views;
    FakeClock clock;
    SelectedDataController sd{AppContext{ws, dialogs, views, clock}};

    SelectedData() {
        std::string p = dir.file("run7.dat");
        write_text(p, hyp_data_file(20));
        ws.data->load_file(p, false);
        sd.AttachData(ws.data.get());
    }
};

TEST_F(SelectedData, EmptyWindowHasOneEmptyRowAndNoSaves) {
    EXPECT_EQ(sd.rows.size(), 1u);
    EXPECT_EQ(sd.rows[0].cells[0], "");
    EXPECT_FALSE(sd.save_buttons_enabled);
    sd.B_RemoveSelectedClick(0, 0);
    EXPECT_TRUE(sd.singles().empty());
}

TEST_F(SelectedData, RowsAndCurvesOfRecordsAndRanges) {
    sd.AddRecord(3);
    sd.AddRecord(3);
    sd.AddRange(10, 12);
    ASSERT_EQ(sd.rows.size(), 3u);
    EXPECT_TRUE(sd.save_buttons_enabled);
    // Numbered from 1 as the spectral view counts records: index 3 is "Line 4".
    EXPECT_EQ(sd.rows[0].cells[0], "Line 4");
    EXPECT_EQ(sd.rows[1].cells[0], "Line 4");
    EXPECT_EQ(sd.rows[0].cells[1], "750");
    EXPECT_EQ(sd.rows[0].cells[2], "n/a");
    EXPECT_EQ(sd.rows[2].cells[0], "Lines 11 - 13");
    EXPECT_EQ(sd.rows[2].cells[1], "2500.000000 - 3000.000000");
    EXPECT_EQ(sd.rows[2].cells[2], "n/a");
    ASSERT_EQ(sd.curves.size(), 6u);
    // a and c of an entry each have a legend line of their own.
    EXPECT_TRUE(sd.curves[0].in_legend);
    EXPECT_TRUE(sd.curves[1].in_legend);
    EXPECT_TRUE(sd.curves[0].absorption);
    EXPECT_FALSE(sd.curves[1].absorption);
    EXPECT_EQ(sd.curves[0].colour, sd.curves[1].colour);
    EXPECT_NE(sd.curves[0].colour, sd.curves[2].colour);
    EXPECT_EQ(sd.curves[0].title, "Line 4 a");
    EXPECT_EQ(sd.curves[1].title, "Line 4 c");
    EXPECT_EQ(sd.curves[4].title, "Lines 11 - 13 a");
    // The mean of records 10 and 11 (uncorrected: corrections are off).
    ASSERT_EQ(sd.curves[4].y.size(), 4u);
    EXPECT_NEAR_REL(sd.curves[4].y[0], 0.1 + 0.01 * 10.5);
    EXPECT_DOUBLE_EQ(sd.curves[4].x[0], 402);
    EXPECT_DOUBLE_EQ(sd.curves[5].x[0], 400.5);
    EXPECT_NEAR_REL(sd.curves[5].y[3], 1.4 + 0.01 * 10.5);
}

TEST_F(SelectedData, PressureColumnsAfterMerge) {
    ws.data->ctd_merged = true;
    sd.AddRecord(4);
    sd.AddRange(2, 5);
    EXPECT_EQ(sd.rows[0].cells[2], "4");
    EXPECT_EQ(sd.rows[1].cells[2], "2.00 - 5.00");
}

TEST_F(SelectedData, SelectedIndicesMergeRangesAndSingles) {
    sd.AddRange(10, 15);
    sd.AddRecord(12);
    // Rows: 0 single 12, 1 range 10..15.
    EXPECT_EQ(sd.SelectedIndices(0, 1), (RecordIndices{10, 11, 12, 13, 14}));
    EXPECT_EQ(sd.SelectedIndices(0, 0), (RecordIndices{12}));
    EXPECT_EQ(sd.SelectedIndices(1, 1), (RecordIndices{10, 11, 12, 13, 14}));
}

TEST_F(SelectedData, EqualRangeIsTheSingleRecordFirst) {
    sd.AddRange(6, 6);
    EXPECT_EQ(sd.singles(), std::vector<int>{6});
    EXPECT_TRUE(sd.ranges().empty());
    EXPECT_EQ(sd.rows[0].cells[0], "Line 7");
    EXPECT_EQ(sd.SelectedIndices(0, 0), (RecordIndices{6}));
}

TEST_F(SelectedData, OutOfRangePicksAreIgnored) {
    sd.AddRecord(20);
    sd.AddRecord(-1);
    sd.AddRange(15, 20);
    EXPECT_TRUE(sd.singles().empty());
    EXPECT_TRUE(sd.ranges().empty());
}

TEST_F(SelectedData, RemovingABlockSpanningSinglesAndRanges) {
    sd.AddRecord(1);
    sd.AddRecord(2);
    sd.AddRecord(3);
    sd.AddRange(4, 6);
    sd.AddRange(7, 9);
    sd.AddRange(10, 12);
    // Rows 2..4: single 3, ranges (4,6) and (7,9).
    sd.B_RemoveSelectedClick(2, 4);
    EXPECT_EQ(sd.singles(), (std::vector<int>{1, 2}));
    ASSERT_EQ(sd.ranges().size(), 1u);
    EXPECT_EQ(sd.ranges()[0], std::make_pair(10, 12));
    EXPECT_EQ(sd.rows.size(), 3u);
    sd.B_RemoveAllClick();
    EXPECT_EQ(sd.rows.size(), 1u);
    EXPECT_FALSE(sd.save_buttons_enabled);
}

TEST_F(SelectedData, AttachEmptiesTheLists) {
    sd.AddRecord(1);
    sd.AttachData(ws.data.get());
    EXPECT_TRUE(sd.singles().empty());
    EXPECT_TRUE(sd.curves.empty());
}

TEST_F(SelectedData, SaveSelectedRangeWritesTheChosenRecords) {
    sd.AddRange(2, 5);
    dialogs.save_answers.push_back(dir.file("chunk.dat"));
    sd.B_SaveSelectedClick(0, 0);
    EXPECT_EQ(dialogs.saves.at(0).proposed, dir.file("run7") + "_chunk.dat");
    std::string out = read_text(dir.file("chunk.dat"));
    EXPECT_NE(out.find("\n500\t"), std::string::npos);
    EXPECT_NE(out.find("\n1000\t"), std::string::npos);
    EXPECT_EQ(out.find("\n1250\t"), std::string::npos);
    EXPECT_EQ(out.find("\n250\t"), std::string::npos);
}

TEST_F(SelectedData, SaveDevProposesDevNameAndCancelWritesNothing) {
    sd.AddRecord(2);
    sd.B_SaveDevClick(0, 0);
    EXPECT_EQ(dialogs.saves.at(0).proposed, dir.file("run7.dev"));
}

TEST_F(SelectedData, WaterFileCancelWritesNothingButSwitchesCorrectionsOff) {
    sd.AddRange(0, 4);
    ws.data->do_temp = ws.data->do_saln = ws.data->do_scat = true;
    dialogs.water_text = "18.5";
    dialogs.water_scat = 1;
    ws.post.PD_ScatType = 2;
    ws.post.E_ScatWL = "700";
    sd.B_SaveWaterClick(0, 0);
    ASSERT_EQ(dialogs.water_requests.size(), 1u);
    EXPECT_TRUE(dialogs.saves.empty());
    EXPECT_FALSE(ws.data->do_temp || ws.data->do_saln || ws.data->do_scat);
    EXPECT_DOUBLE_EQ(ws.data->const_temp, 18.5);
    const WaterCalRequest& r = dialogs.water_requests[0];
    EXPECT_EQ(r.scat_index, 2);
    EXPECT_EQ(r.scat_wl_text, "700");
    ASSERT_EQ(r.a_mean.size(), 4u);
}

TEST_F(SelectedData, WaterFileWritesMeanOfSelection) {
    ws.data->do_water = false;
    sd.AddRange(0, 4);
    dialogs.water_answers.push_back(mrOk);
    dialogs.water_text_after_ok = "21.5";
    dialogs.save_answers.push_back(dir.file("w.wcf"));
    sd.B_SaveWaterClick(0, 0);
    EXPECT_EQ(dialogs.saves.at(0).proposed, dir.file("run7") + "_water.wcf");
    EXPECT_NEAR_REL(dialogs.water_requests[0].a_mean[0], 0.1 + 0.015);
    std::string out = read_text(dir.file("w.wcf"));
    EXPECT_NE(out.find("Water Calibration Temperature: 21.5"), std::string::npos) << out;
    EXPECT_TRUE(ws.data->corrected_records.empty());
}

} // namespace
