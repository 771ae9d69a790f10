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

namespace {

// A data set of `channels` channels and three records whose values have ten significant digits,
// so that the averaged line is as long as the instrument's own.
void fill_channels(HYP_Data& d, InstrumentType type, std::size_t channels) {
    d.instrument_type = type;
    d.serial_number = 66;
    for (std::size_t i = 0; i < channels; ++i) {
        d.a_wavelengths.push_back(400.2 + 4.1 * static_cast<double>(i));
        d.c_wavelengths.push_back(399.8 + 4.1 * static_cast<double>(i));
    }
    for (int j = 0; j < 3; ++j) {
        hyp_data r;
        r.time = 250.0 * j;
        for (std::size_t i = 0; i < channels; ++i) {
            r.a_values.push_back(0.1234567891 + 0.0012345679 * static_cast<double>(i + j));
            r.c_values.push_back(-0.9876543219 + 0.0112345679 * static_cast<double>(i * j));
        }
        d.records.push_back(r);
    }
}

} // namespace

// Every water file the program writes reads back, whatever the length of its last line, which
// has no line break (86 channels: about 2,260 characters, longer than the lines before it).
TEST_F(WaterCal, WrittenFilesOfEverySizeReadBack) {
    struct Case {
        InstrumentType type;
        std::size_t channels;
    };
    for (const Case& c : {Case{InstrumentType::HYP, 86}, Case{InstrumentType::FLW, 9}}) {
        SCOPED_TRACE(c.channels);
        HYP_Data w;
        fill_channels(w, c.type, c.channels);
        w.save_water_cal(path("w.wcf"), {0, 1, 2}, 18.25);
        HYP_Data field;
        fill_channels(field, c.type, c.channels);
        field.load_file(path("w.wcf"), true);
        ASSERT_EQ(field.water_a.size(), c.channels);
        ASSERT_EQ(field.water_c.size(), c.channels);
        for (std::size_t i = 0; i < c.channels; ++i) {
            const auto mean = [&](auto value) {
                return (value(w.records[0]) + value(w.records[1]) + value(w.records[2])) / 3.0;
            };
            EXPECT_NEAR_REL(field.water_a[i],
                            mean([&](const hyp_data& r) { return r.a_values[i]; }), 1e-9);
            EXPECT_NEAR_REL(field.water_c[i],
                            mean([&](const hyp_data& r) { return r.c_values[i]; }), 1e-9);
        }
        EXPECT_EQ(field.water_cal_temp, 18.25);
    }
}

// Files whose last line holds 4,000 characters, with and without a line break after it.
TEST_F(WaterCal, LastLinesOfFourThousandCharactersAreReadWhole) {
    // Each value written with 1,340 digits: three of them make a 4,000-character line.
    const std::string digits(1340, '0');
    const std::string v1 = "0.1" + digits + "1", v2 = "0.2" + digits + "2", v3 = "0.3" + digits;
    for (const char* end : {"", "\n"}) {
        const std::string water =
            "File created by Velmora version 2.0\nWater Calibration File: 1.0\n"
            "This file was created on Wed Apr  8 17:49:48 2009\n"
            "Serial Number: 66\nWater Calibration Temperature: 20\n"
            "Number of wavelengths: 1\n0\tc412\ta412\t\n0\t" +
            v1 + "\t" + v2 + "\t" + v3 + end;
        ASSERT_GT(water.size() - water.rfind("\n0\t"), 4000u);
        write_text(path("long.wcf"), water);
        HYP_Data one;
        one.serial_number = 66;
        one.a_wavelengths = {412};
        one.c_wavelengths = {412};
        one.load_file(path("long.wcf"), true);
        EXPECT_NEAR_REL(one.water_c.at(0), 0.1);
        EXPECT_NEAR_REL(one.water_a.at(0), 0.2);

        // An FLW data file: its last data line is read even without a line break.
        std::string flw = read_text(fixture("flw_small.dat"));
        std::string line = "300";
        for (int col = 0; col < 18; ++col)
            line += "\t" + std::string(col == 17 ? "0.7" + std::string(3900, '0') : "0.5");
        flw += line + end;
        write_text(path("long.dat"), flw);
        HYP_Data f;
        f.load_file(path("long.dat"), false);
        ASSERT_EQ(f.records.size(), 3u);
        EXPECT_EQ(f.records[2].time, 300);
        EXPECT_EQ(f.records[2].a_values.at(8), 0.7); // the last column: a715
    }
}

// The serial number of a water file must be that of the data; 0 is a file of unknown serial.
TEST_F(WaterCal, SerialZeroIsUnknownAndAccepted) {
    d.save_water_cal(path("w.wcf"), {0, 1}, 18);
    auto lines = split_lines(read_text(path("w.wcf")));
    lines[3] = "Serial Number: 0";
    write_text(path("unknown.wcf"), join_lines(lines));
    d.load_file(path("unknown.wcf"), true);
    EXPECT_TRUE(d.water_loaded);
    lines[3] = "Serial Number: 53000124";
    write_text(path("other.wcf"), join_lines(lines));
    EXPECT_EQ(error_of([&] { d.load_file(path("other.wcf"), true); }),
              "Water file not from the same device as data file");
}
