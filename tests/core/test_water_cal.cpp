// The water calibration file: writing the mean spectrum of a selection and reading it back.
#include <regex>

#include "files_test_util.h"

using namespace files_test;

namespace {

class WaterCal : public ScratchDir {
  protected:
    void SetUp() override {
        ScratchDir::SetUp();
        d.load_file(fixture("hyp_small.dat"), false);
        d.records[0].c_values[0] = 0.1;
        d.records[1].c_values[0] = 0.2;
        d.records[2].c_values[0] = 0.3;
    }
    void expect_water_unchanged(const HYP_Data& before_copy_source) {
        EXPECT_EQ(d.water_a, before_copy_source.water_a);
        EXPECT_EQ(d.water_c, before_copy_source.water_c);
        EXPECT_EQ(d.water_cal_temp, before_copy_source.water_cal_temp);
        EXPECT_EQ(d.water_loaded, before_copy_source.water_loaded);
        EXPECT_EQ(d.water_file_name, before_copy_source.water_file_name);
        EXPECT_EQ(d.water_records.size(), before_copy_source.water_records.size());
    }
    HYP_Data d;
};

void copy_water(const HYP_Data& from, HYP_Data& to) {
    to.water_a = from.water_a;
    to.water_c = from.water_c;
    to.water_cal_temp = from.water_cal_temp;
    to.water_loaded = from.water_loaded;
    to.water_file_name = from.water_file_name;
    to.water_records = from.water_records;
}

} // namespace

TEST_F(WaterCal, WrittenAndReadBack) {
    d.save_water_cal(path("w.wcf"), {0, 1, 2}, 21.5);
    const std::string text = read_text(path("w.wcf"));
    const auto lines = split_lines(text);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "File created by Velmora version 2.0");
    EXPECT_EQ(lines[1], "Water Calibration File: 1.0");
    EXPECT_TRUE(std::regex_match(lines[2], std::regex("This file was created on "
                                                      "(Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
                                                      "[A-Z][a-z][a-z] [ 123][0-9] "
                                                      "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")))
        << lines[2];
    EXPECT_EQ(lines[3], "Serial Number: 53000123");
    EXPECT_EQ(lines[4], "Water Calibration Temperature: 21.5");
    EXPECT_EQ(lines[5], "Number of wavelengths: 3");
    EXPECT_EQ(lines[6], "0\tc400.2\tc650.1\tc715.4\ta400.5\ta650.3\ta714.9\t");
    EXPECT_EQ(lines[7].rfind("0\t0.2\t", 0), 0u);
    EXPECT_NE(text.back(), '\n'); // line 8 has no line break

    d.load_file(path("w.wcf"), true);
    EXPECT_TRUE(d.water_loaded);
    EXPECT_EQ(d.water_file_name, path("w.wcf"));
    EXPECT_EQ(d.water_cal_temp, 21.5);
    ASSERT_EQ(d.water_records.size(), 1u);
    EXPECT_EQ(d.water_records[0].time, 0.0);
    ASSERT_EQ(d.water_c.size(), 3u);
    ASSERT_EQ(d.water_a.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        double a = 0, c = 0;
        for (const auto& r : d.records) {
            a += r.a_values[i] / 3;
            c += r.c_values[i] / 3;
        }
        EXPECT_NEAR_REL(d.water_a[i], a, 1e-9);
        EXPECT_NEAR_REL(d.water_c[i], c, 1e-9);
    }
    EXPECT_EQ(d.water_c[0], 0.2);

    // CRLF endings read the same.
    write_text(path("crlf.wcf"), join_lines(lines, "\r\n"));
    HYP_Data e;
    e.load_file(fixture("hyp_small.dat"), false);
    e.load_file(path("crlf.wcf"), true);
    EXPECT_EQ(e.water_a, d.water_a);
    EXPECT_EQ(e.water_c, d.water_c);
    EXPECT_EQ(e.water_cal_temp, 21.5);
}

TEST_F(WaterCal, FlwChannelsInAscendingOrder) {
    HYP_Data f;
    f.load_file(fixture("flw_small.dat"), false);
    f.save_water_cal(path("f.wcf"), {0}, 20);
    const auto lines = split_lines(read_text(path("f.wcf")));
    EXPECT_EQ(lines[6], "0\tc412\tc440\tc488\tc510\tc532\tc555\tc650\tc676\tc715\t"
                        "a412\ta440\ta488\ta510\ta532\ta555\ta650\ta676\ta715\t");
    EXPECT_EQ(lines[7], "0\t1.01\t1.02\t1.03\t1.04\t1.05\t1.06\t1.07\t1.08\t1.09\t"
                        "0.01\t0.02\t0.03\t0.04\t0.05\t0.06\t0.07\t0.08\t0.09\t");
}

TEST_F(WaterCal, FailedReadsChangeNothing) {
    d.save_water_cal(path("good.wcf"), {0, 1}, 18);
    d.load_file(path("good.wcf"), true);
    const auto lines = split_lines(read_text(path("good.wcf")));
    struct Case {
        std::size_t line;
        std::string text;
        std::string error;
    };
    const std::vector<Case> cases = {
        {3, "Serial Number: 53000124", "Water file not from the same device as data file"},
        {3, "Serial: 53000123", "Water file not from the same device as data file"},
        {5, "Number of wavelengths: 4",
         "Water has differing number of wavelengths than data file!"},
        {7, "0\t1\t2\t3\t4\t5", "Water file does not hold a value for every wavelength."},
    };
    for (const Case& c : cases) {
        auto changed = lines;
        changed[4] = "Water Calibration Temperature: 3";
        changed.at(c.line) = c.text;
        write_text(path("bad.wcf"), join_lines(changed));
        HYP_Data before;
        copy_water(d, before);
        EXPECT_EQ(error_of([&] { d.load_file(path("bad.wcf"), true); }), c.error) << c.text;
        expect_water_unchanged(before);
    }
    HYP_Data fresh;
    EXPECT_EQ(error_of([&] { fresh.load_file(path("good.wcf"), false); }),
              "You can not load water files as data.  This will be changed in the next release.\n");
}

TEST_F(WaterCal, AveragedLineNeedsRecords) {
    HYP_Data empty;
    empty.a_wavelengths = {400};
    empty.c_wavelengths = {400};
    EXPECT_EQ(error_of([&] { empty.save_water_cal(path("e.wcf"), {}, 20); }),
              "No records selected.");
    EXPECT_TRUE(entries().empty());
}
