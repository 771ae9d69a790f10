// The settings store: defaults, missing and wrongly typed values, round trip, and the failure
// of a store that cannot be written.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app_fakes.h"
#include "settings_store.h"

namespace {

std::string section(const std::string& values) {
    return "{ \"SOFTWARE\\\\Kestrin\\\\Velmora15\": {" + values + "} }";
}

struct Settings : ::testing::Test {
    TempDir dir;
    std::string file = dir.file("settings.json");
    VelmoraSettings load(const std::string& json) {
        write_text(file, json);
        VelmoraSettings s(file);
        s.Load();
        return s;
    }
};

void expect_defaults_from_pres_on(const VelmoraSettings& s) {
    EXPECT_EQ(s.ctd_pres, 2);
    EXPECT_EQ(s.ctd_temp, 3);
    EXPECT_EQ(s.ctd_saln, 5);
    EXPECT_EQ(s.commport, 1);
    EXPECT_EQ(s.tab_index, 0);
    EXPECT_EQ(s.autotemp, 0);
}

TEST_F(Settings, EmptyMissingOrBrokenStoreGivesDefaults) {
    for (const std::string& json :
         {std::string(), std::string("{ not json"), std::string("{}"), section("")}) {
        VelmoraSettings s = load(json);
        EXPECT_EQ(s.devfile, "");
        EXPECT_EQ(s.tscorfile, "");
        EXPECT_EQ(s.ctd_time, 1);
        expect_defaults_from_pres_on(s);
    }
    VelmoraSettings none(dir.file("does/not/exist.json"));
    none.Load();
    EXPECT_EQ(none.ctd_saln, 5);
}

TEST_F(Settings, WrongTypedIntegerEndsTheIntegerReads) {
    VelmoraSettings s = load(section(R"("ctd_time": 7, "ctd_pres": "4", "ctd_temp": 9,
        "ctd_saln": 9, "commport": 9, "tab_index": 1, "autotemp": 1)"));
    EXPECT_EQ(s.ctd_time, 7);
    expect_defaults_from_pres_on(s);

    // A missing value ends them the same way; a fraction is not an integer.
    s = load(section(R"("ctd_time": 7, "ctd_pres": 8, "ctd_saln": 9, "commport": 9)"));
    EXPECT_EQ(s.ctd_pres, 8);
    EXPECT_EQ(s.ctd_temp, 3);
    EXPECT_EQ(s.ctd_saln, 5);
    s = load(section(R"("ctd_time": 7.5, "ctd_pres": 8)"));
    EXPECT_EQ(s.ctd_time, 1);
    EXPECT_EQ(s.ctd_pres, 2);
}

TEST_F(Settings, WrongTypedTexts) {
    VelmoraSettings s = load(section(R"("tscorfile": 5, "devfile": 12)"));
    EXPECT_EQ(s.tscorfile, "");
    EXPECT_EQ(s.devfile, "0");
    s = load(section(R"("tscorfile": "0", "devfile": "0")"));
    EXPECT_EQ(s.tscorfile, "");
    EXPECT_EQ(s.devfile, "0");
}

TEST_F(Settings, AllValuesReadAutotempAlwaysOffCommportSixteenBits) {
    VelmoraSettings s = load(section(R"("tscorfile": "/c/ts.txt", "devfile": "/d/a.dev",
        "ctd_time": 2, "ctd_pres": 3, "ctd_temp": 4, "ctd_saln": 6, "commport": 70000,
        "tab_index": 1, "autotemp": 1)"));
    EXPECT_EQ(s.tscorfile, "/c/ts.txt");
    EXPECT_EQ(s.devfile, "/d/a.dev");
    EXPECT_EQ(s.ctd_time, 2);
    EXPECT_EQ(s.ctd_pres, 3);
    EXPECT_EQ(s.ctd_temp, 4);
    EXPECT_EQ(s.ctd_saln, 6);
    EXPECT_EQ(s.commport, 4464);
    EXPECT_EQ(s.tab_index, 1);
    EXPECT_EQ(s.autotemp, 0);
}

TEST_F(Settings, SaveRoundTripsAndKeepsTypes) {
    VelmoraSettings s(dir.file("sub/dir/settings.json"));
    s.devfile = "/home/u/ac 1.dev";
    s.commport = -3;
    s.ctd_saln = 8;
    s.tab_index = 1;
    s.autotemp = 1;
    s.Save();
    std::string json = read_text(dir.file("sub/dir/settings.json"));
    EXPECT_NE(json.find("SOFTWARE\\\\Kestrin\\\\Velmora15"), std::string::npos);
    EXPECT_NE(json.find("\"commport\": -3"), std::string::npos) << json;
    EXPECT_NE(json.find("\"devfile\": \"/home/u/ac 1.dev\""), std::string::npos) << json;
    VelmoraSettings back(dir.file("sub/dir/settings.json"));
    back.Load();
    EXPECT_EQ(back.devfile, s.devfile);
    EXPECT_EQ(back.commport, -3);
    EXPECT_EQ(back.ctd_saln, 8);
    EXPECT_EQ(back.tab_index, 1);
    EXPECT_EQ(back.autotemp, 0);
}

TEST_F(Settings, CtdTimeFormatAndLagKeepTheirDefaultsWhenUnreadable) {
    VelmoraSettings s = load(section(R"("ctd_time_format": "date-time", "ctd_lag_s": "-2.5")"));
    EXPECT_EQ(s.ctd_time_format, "date-time");
    EXPECT_EQ(s.ctd_lag_s, -2.5);
    s = load(section(R"("ctd_time_format": "utc", "ctd_lag_s": "2.5 s", "ctd_time": 4)"));
    EXPECT_EQ(s.ctd_time_format, "ms");
    EXPECT_EQ(s.ctd_lag_s, 0.0);
    EXPECT_EQ(s.ctd_time, 4);
    s = load(section(R"("ctd_time_format": 3, "ctd_lag_s": 2.5)"));
    EXPECT_EQ(s.ctd_time_format, "ms");
    EXPECT_EQ(s.ctd_lag_s, 0.0);
}

TEST_F(Settings, SaveKeepsOtherValuesOfTheFile) {
    write_text(file, "{ \"other\": 1, \"SOFTWARE\\\\Kestrin\\\\Velmora15\": {\"extra\": \"x\"} }");
    VelmoraSettings s(file);
    s.Save();
    std::string json = read_text(file);
    EXPECT_NE(json.find("\"other\""), std::string::npos);
    EXPECT_NE(json.find("\"extra\""), std::string::npos);
}

TEST_F(Settings, UnwritableStoreRaises) {
    write_text(dir.file("plainfile"), "x");
    VelmoraSettings s(dir.file("plainfile/settings.json"));
    s.devfile = "kept";
    try {
        s.Save();
        FAIL() << "no error";
    } catch (const VelmoraError& e) {
        EXPECT_STREQ(e.what(), "Unable to write to registry!");
    }
    EXPECT_EQ(s.devfile, "kept");
}

TEST_F(Settings, EnvironmentNamesTheFile) {
    setenv("VELMORA_SETTINGS", file.c_str(), 1);
    VelmoraSettings s;
    EXPECT_EQ(s.path(), file);
    s.ctd_time = 9;
    s.Save();
    unsetenv("VELMORA_SETTINGS");
    VelmoraSettings back(file);
    back.Load();
    EXPECT_EQ(back.ctd_time, 9);
    EXPECT_NE(VelmoraSettings().path(), file);
}

} // namespace
