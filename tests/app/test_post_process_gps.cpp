// "Load GPS Data" on the post-processing panel, driven with scripted answers: the log is asked
// for, merged by clock time, refused with a message, and written by Save.
#include <gtest/gtest.h>

#include <cstdio>

#include "app_fakes.h"
#include "post_process_controller.h"

namespace {

std::string sentence(const std::string& body) {
    unsigned x = 0;
    for (const char c : body)
        x ^= static_cast<unsigned char>(c);
    char sum[4];
    std::snprintf(sum, sizeof sum, "%02X", x);
    return "$" + body + "*" + sum + "\r\n";
}

struct PostProcessGps : ::testing::Test {
    TempDir dir;
    Workspace ws;
    ScriptedDialogs dialogs;
    RecordingViews views;
    FakeClock clock;
    PostProcessController pp{AppContext{ws, dialogs, views, clock}};

    PostProcessGps() {
        ws.reg = VelmoraSettings(dir.file("settings.json"));
        ws.window.tab_index = 1;
        // Fixes at 12:00:00 and 12:00:01; the sentence between has a wrong checksum.
        write_text(dir.file("track.nmea"),
                   sentence("GPRMC,120000,A,5410.000,N,00753.000,E,5.0,45.0,150324,,,A") +
                       "$GPGGA,120000.5,5410.001,N,00753.001,E,1,08,0.9,1,M,1,M,,*00\r\n" +
                       sentence("GPGGA,120001,5410.060,N,00753.060,E,1,08,0.9,1,M,1,M,,"));
        write_text(dir.file("void.nmea"), sentence("GPRMC,120000,V,,,,,,,150324,,,N"));
    }
    // Records at 0, 250, 500 and 750 ms.
    void load(int records = 4) {
        write_text(dir.file("cast1.dat"), hyp_data_file(records));
        ASSERT_TRUE(pp.LoadDataFile(dir.file("cast1.dat")));
        ws.data->start_utc = 1710504000000; // 2024-03-15T12:00:00Z
    }
};

TEST_F(PostProcessGps, LoadMergesAndSaveWritesThePositions) {
    EXPECT_FALSE(ws.post.B_LoadGPS_enabled);
    pp.B_LoadGPSClick(); // nothing loaded: not even asked
    EXPECT_TRUE(dialogs.opens.empty());

    load();
    EXPECT_TRUE(ws.post.B_LoadGPS_enabled);
    views.calls.clear();
    dialogs.open_answers.push_back(dir.file("track.nmea"));
    pp.B_LoadGPSClick();
    ASSERT_TRUE(dialogs.messages.empty()) << dialogs.messages[0].text;
    EXPECT_EQ(dialogs.opens.back().title, "Open GPS log");
    EXPECT_EQ(ws.post.E_GPSFile, dir.file("track.nmea"));
    EXPECT_EQ(ws.window.status, "Skipped 1 NMEA sentences that could not be read.");
    EXPECT_EQ(views.calls, std::vector<std::string>{"Refresh"});
    ASSERT_TRUE(ws.data->gps_merged);
    ASSERT_EQ(ws.data->lat_list.size(), 4u);
    EXPECT_NEAR(ws.data->lat_list[2], 54 + 10.03 / 60, 1e-12);

    dialogs.save_answers.push_back(dir.file("out.dat"));
    pp.B_SavePostClick();
    const std::string saved = read_text(dir.file("out.dat"));
    EXPECT_NE(saved.find("\nGPS file: " + dir.file("track.nmea") + "\nTime(ms)\t"),
              std::string::npos);
    EXPECT_NE(saved.find("\ta715\tLat\tLon\t\n"), std::string::npos);

    // A new data file starts without a log.
    ASSERT_TRUE(pp.LoadDataFile(dir.file("cast1.dat")));
    EXPECT_EQ(ws.post.E_GPSFile, "");
    EXPECT_FALSE(ws.data->gps_merged);
}

TEST_F(PostProcessGps, RefusedLogsLeaveThePanelAsItWas) {
    struct Case {
        bool start_time;
        std::string log, message;
    };
    const Case cases[] = {
        {false, "track.nmea",
         "The data set has no start time; set it before merging a GPS log with clock times."},
        {true, "void.nmea", "No GPS fixes in file.\n" + dir.file("void.nmea")},
        {true, "none.nmea", "Unable to open file.\n" + dir.file("none.nmea")},
    };
    for (const Case& c : cases) {
        load();
        if (!c.start_time)
            ws.data->start_utc.reset();
        dialogs.messages.clear();
        dialogs.open_answers.push_back(dir.file(c.log));
        pp.B_LoadGPSClick();
        ASSERT_EQ(dialogs.messages.size(), 1u) << c.log;
        EXPECT_EQ(dialogs.messages[0].text, c.message);
        EXPECT_EQ(dialogs.messages[0].caption, "Error loading file");
        EXPECT_EQ(ws.post.E_GPSFile, "") << c.log;
        EXPECT_FALSE(ws.data->gps_merged) << c.log;
    }
    // A cancelled dialog changes nothing either.
    dialogs.messages.clear();
    pp.B_LoadGPSClick();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(ws.data->gps_merged);
}

} // namespace
