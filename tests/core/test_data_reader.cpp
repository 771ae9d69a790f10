// Loading instrument data files, processed files and data files in water mode.
#include <cmath>

#include "files_test_util.h"
#include "text.h"

using namespace files_test;

namespace {

class DataReader : public ScratchDir {};

// The HYP fixture's lines with line `index` (0-based) replaced.
std::string hyp_with_line(std::size_t index, const std::string& text) {
    auto lines = split_lines(read_text(fixture("hyp_small.dat")));
    lines.at(index) = text;
    return join_lines(lines);
}

} // namespace

TEST(DataReaderFixtures, HypFile) {
    HYP_Data d;
    d.load_file(fixture("hyp_small.dat"), false);
    EXPECT_EQ(d.instrument_type, InstrumentType::HYP);
    EXPECT_FALSE(d.is_processed);
    EXPECT_EQ(d.serial_number, 53000123);
    EXPECT_DOUBLE_EQ(d.fac_cal_temp, 21.5);
    EXPECT_EQ(d.num_wavelengths, 3);
    EXPECT_EQ(d.c_wavelengths, (std::vector<double>{400.2, 650.1, 715.4}));
    EXPECT_EQ(d.a_wavelengths, (std::vector<double>{400.5, 650.3, 714.9}));
    // Lines 2 to 17: the device lines, the line after the wavelength lines and two more.
    ASSERT_EQ(d.header_lines.size(), 16u);
    EXPECT_EQ(d.header_lines.front(), "HYP  ; model");
    EXPECT_EQ(d.header_lines.back().rfind("Time(ms)\tC400.2", 0), 0u);
    EXPECT_EQ(d.file_name, fixture("hyp_small.dat"));

    // The blank-only line gives no record.
    ASSERT_EQ(d.records.size(), 3u);
    EXPECT_EQ(d.records[0].time, 250.0);
    EXPECT_EQ(d.records[0].c_values, (std::vector<double>{0.5, 0.6, 0.7}));
    EXPECT_EQ(d.records[0].a_values, (std::vector<double>{0.1, 0.2, 0.3}));
    EXPECT_EQ(d.records[2].c_values, (std::vector<double>{-0.5, 1e-05, 0.123456789012}));

    // Temperature is the first field after the values, pressure the third; a missing pressure
    // keeps the previous line's.
    ASSERT_EQ(d.onboard_list.samples.size(), 3u);
    EXPECT_EQ(d.onboard_list.samples[0].temperature, 12.5);
    EXPECT_EQ(d.onboard_list.samples[0].pressure, 3.25);
    EXPECT_EQ(d.onboard_list.samples[1].temperature, 12.6);
    EXPECT_EQ(d.onboard_list.samples[1].pressure, 3.25);
    EXPECT_EQ(d.onboard_list.samples[2].pressure, 3.5);
    EXPECT_EQ(d.onboard_list.samples[2].salinity, 0.0);
    expect_same_entries(d.ctd_list.samples, d.onboard_list.samples);

    EXPECT_EQ(d.a_coefs.size(), 3u);
    EXPECT_EQ(d.scat_ref_a, 2u);
    EXPECT_EQ(d.scat_ref_c, 2u);
}

TEST(DataReaderFixtures, FlwFileMapsFileColumnsToAscendingChannels) {
    HYP_Data d;
    d.load_file(fixture("flw_small.dat"), false);
    EXPECT_EQ(d.instrument_type, InstrumentType::FLW);
    EXPECT_EQ(d.serial_number, 1234);
    EXPECT_DOUBLE_EQ(d.fac_cal_temp, 20.0);
    EXPECT_EQ(d.num_wavelengths, 9);
    const std::vector<double> wl = {412, 440, 488, 510, 532, 555, 650, 676, 715};
    EXPECT_EQ(d.a_wavelengths, wl);
    EXPECT_EQ(d.c_wavelengths, wl);
    // File order c412 a412 c488 a440 c440 a488 ...
    ASSERT_EQ(d.channel_is_a.size(), 18u);
    EXPECT_FALSE(d.channel_is_a[0]);
    EXPECT_TRUE(d.channel_is_a[1]);
    EXPECT_EQ(d.a_order, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(d.c_order, (std::vector<std::int32_t>{0, 2, 1, 3, 4, 5, 6, 7, 8}));
    ASSERT_EQ(d.records.size(), 2u);
    const hyp_data& r = d.records[0];
    EXPECT_EQ(r.time, 100.0);
    EXPECT_EQ(r.c_values,
              (std::vector<double>{1.01, 1.02, 1.03, 1.04, 1.05, 1.06, 1.07, 1.08, 1.09}));
    EXPECT_EQ(r.a_values,
              (std::vector<double>{0.01, 0.02, 0.03, 0.04, 0.05, 0.06, 0.07, 0.08, 0.09}));
    EXPECT_EQ(d.onboard_list.samples[1].temperature, 14.6);
    EXPECT_EQ(d.onboard_list.samples[1].pressure, 7.5);
    // The column lines and the lines after them are kept for writing the file again.
    ASSERT_EQ(d.header_lines.size(), 31u);
    EXPECT_EQ(d.header_lines[9].rfind("C412\t11", 0), 0u);
    EXPECT_EQ(d.header_lines[26].rfind("A715", 0), 0u);
}

TEST_F(DataReader, KindFromSecondLine) {
    struct Case {
        std::string line2;
        InstrumentType type; // after a normal load, None when it fails
        std::string error;   // expected message
    };
    const std::vector<Case> cases = {
        {"hyp  ; model", InstrumentType::HYP, ""},
        {"Hyp\r", InstrumentType::HYP, ""},
        {"XYZ  ; model", InstrumentType::None, "File does not appear to be an HYP or FLW file."},
        {"", InstrumentType::None, "File does not appear to be an HYP or FLW file."},
        {"Water Calibration File: 1.0", InstrumentType::None,
         "You can not load water files as data.  This will be changed in the next release.\n"},
    };
    for (const Case& c : cases) {
        write_text(path("k.dat"), hyp_with_line(1, c.line2));
        HYP_Data d;
        EXPECT_EQ(error_of([&] { d.load_file(path("k.dat"), false); }), c.error) << c.line2;
        if (c.type != InstrumentType::None) {
            EXPECT_EQ(d.instrument_type, c.type) << c.line2;
        }
    }
    // The first line is never examined.
    write_text(path("k.dat"), hyp_with_line(0, "FLW Velmora Water"));
    HYP_Data d;
    d.load_file(path("k.dat"), false);
    EXPECT_EQ(d.instrument_type, InstrumentType::HYP);

    EXPECT_EQ(error_of([&] { d.load_file(path("missing.dat"), false); }), "Unable to open file.");

    write_text(path("k.dat"), hyp_with_line(1, "flw  ; model"));
    HYP_Data f;
    EXPECT_EQ(error_of([&] { f.load_file(path("k.dat"), false); }),
              "FLW file does not list nine a and nine c columns.");
}

// The serial line is read with its base; a HYP device line carries the model's top byte 0x53,
// which the device file reader removes too, so data read from a file and data acquired with
// the device file have the same serial number.
TEST_F(DataReader, SerialLineReadWithItsBase) {
    struct Case {
        std::string line;
        std::int32_t serial;
    };
    const Case cases[] = {
        {"0x53000042\t;serial number", 66},   {"0X5300ABCD ; serial number", 0xABCD},
        {"0x42 ; serial number", 66},         {"53000123\t; serial number", 53000123},
        {"  0123 ; decimal, not octal", 123}, {"; no number", 0},
    };
    for (const Case& c : cases) {
        write_text(path("s.dat"), hyp_with_line(2, c.line));
        HYP_Data d;
        d.load_file(path("s.dat"), false);
        EXPECT_EQ(d.serial_number, c.serial) << c.line;
    }
}

TEST_F(DataReader, CrlfFileReadsLikeLfFile) {
    for (const char* name : {"hyp_small.dat", "flw_small.dat"}) {
        const auto lines = split_lines(read_text(fixture(name)));
        write_text(path("crlf.dat"), join_lines(lines, "\r\n"));
        HYP_Data lf, crlf;
        lf.load_file(fixture(name), false);
        crlf.load_file(path("crlf.dat"), false);
        EXPECT_EQ(crlf.instrument_type, lf.instrument_type);
        EXPECT_EQ(crlf.serial_number, lf.serial_number);
        EXPECT_EQ(crlf.fac_cal_temp, lf.fac_cal_temp);
        EXPECT_EQ(crlf.header_lines, lf.header_lines);
        EXPECT_EQ(crlf.a_wavelengths, lf.a_wavelengths);
        EXPECT_EQ(crlf.c_wavelengths, lf.c_wavelengths);
        expect_same_records(crlf.records, lf.records);
        expect_same_entries(crlf.onboard_list.samples, lf.onboard_list.samples);
    }
}

TEST_F(DataReader, HypLinesOfEveryShape) {
    auto lines = split_lines(read_text(fixture("hyp_small.dat")));
    lines[8] = "80\t; number of wavelengths";  // the count of wavelength lines wins
    lines[11] = "c400.9\tA400.5\t0\t0.1\t0.2"; // lower-case c: the wavelengths repeat (0 first)
    lines.resize(17);
    lines.push_back("1000\t1\t2\t3\t4\t5"); // one a value missing
    lines.push_back("2000\t1\t2\t3\t4\t5\t6");
    HYP_Data d;
    write_text(path("h.dat"), join_lines(lines).substr(0, join_lines(lines).size() - 1));
    d.load_file(path("h.dat"), false);
    EXPECT_EQ(d.num_wavelengths, 3);
    EXPECT_EQ(d.c_wavelengths, (std::vector<double>{0.0, 650.1, 715.4}));
    EXPECT_EQ(d.a_wavelengths, (std::vector<double>{0.0, 650.3, 714.9}));
    // The last line has no line break and is not taken; the short line keeps its values.
    ASSERT_EQ(d.records.size(), 1u);
    EXPECT_EQ(d.records[0].c_values.size(), 3u);
    EXPECT_EQ(d.records[0].a_values, (std::vector<double>{4, 5}));
}

TEST_F(DataReader, LongLinesAreReadWhole) {
    // 400 channels: every data line is far longer than 4095 characters.
    const int n = 400;
    auto lines = split_lines(read_text(fixture("hyp_small.dat")));
    std::vector<std::string> out(lines.begin(), lines.begin() + 11);
    out[8] = std::to_string(n);
    for (int i = 0; i < n; ++i) {
        const std::string wl = std::to_string(400 + i);
        std::string line(1, 'C');
        line += wl;
        line += "\tA";
        line += wl;
        line += "\t0\t0.1\t0.2";
        out.push_back(line);
    }
    out.push_back("0\t; end");
    out.push_back("1\t\t\t; acquisition bin size");
    out.push_back("Time(ms)");
    std::string data = "125";
    for (int i = 0; i < 2 * n; ++i)
        data += "\t0.00012345678" + std::to_string(i);
    out.push_back(data);
    write_text(path("long.dat"), join_lines(out));
    ASSERT_GT(data.size(), 4095u * 2);
    HYP_Data d;
    d.load_file(path("long.dat"), false);
    ASSERT_EQ(d.records.size(), 1u);
    ASSERT_EQ(d.records[0].a_values.size(), static_cast<std::size_t>(n));
    EXPECT_DOUBLE_EQ(d.records[0].a_values[n - 1],
                     text::parse_double("0.00012345678" + std::to_string(2 * n - 1)));
}

TEST_F(DataReader, WaterModeAveragesRecordsAndKeepsTheDataSet) {
    HYP_Data d;
    d.load_file(fixture("flw_small.dat"), false);
    const auto header = d.header_lines;
    d.load_file(fixture("hyp_small.dat"), true);
    EXPECT_EQ(d.instrument_type, InstrumentType::FLW);
    EXPECT_EQ(d.header_lines, header);
    EXPECT_EQ(d.a_wavelengths.size(), 9u);
    EXPECT_EQ(d.file_name, fixture("flw_small.dat"));
    EXPECT_TRUE(d.water_loaded);
    EXPECT_EQ(d.water_file_name, fixture("hyp_small.dat"));
    ASSERT_EQ(d.water_records.size(), 3u);
    ASSERT_EQ(d.water_a.size(), 3u);
    EXPECT_NEAR_REL(d.water_a[0], (0.1 + 0.11 + 0.4) / 3);
    EXPECT_NEAR_REL(d.water_c[2], (0.7 + 0.71 + 0.123456789012) / 3);
    EXPECT_EQ(d.scat_ref_a_wl, 715.0);
}

TEST_F(DataReader, WaterModeWithoutRecordsChangesNothing) {
    HYP_Data d;
    d.load_file(fixture("hyp_small.dat"), false);
    d.load_file(fixture("hyp_small.dat"), true);
    const auto water_a = d.water_a;
    auto lines = split_lines(read_text(fixture("hyp_small.dat")));
    lines.resize(17);
    write_text(path("empty.dat"), join_lines(lines));
    EXPECT_EQ(error_of([&] { d.load_file(path("empty.dat"), true); }), "No records in water file.");
    EXPECT_EQ(d.water_a, water_a);
    EXPECT_EQ(d.water_records.size(), 3u);
    EXPECT_EQ(d.water_file_name, fixture("hyp_small.dat"));
}

// Files that read through but whose channels the corrections cannot be set up for: the load
// raises and the data set keeps the file it held.
TEST_F(DataReader, RefusedChannelsLeaveTheDataSetAsItWas) {
    auto hyp_without_channels = split_lines(read_text(fixture("hyp_small.dat")));
    hyp_without_channels.erase(hyp_without_channels.begin() + 11,
                               hyp_without_channels.begin() + 14);
    auto flw_half_nanometre = split_lines(read_text(fixture("flw_small.dat")));
    flw_half_nanometre.at(11) = "A412.5\t12\t0.022\t0.001\t0.002\t; a412";
    const struct {
        const char* name;
        std::vector<std::string> lines;
    } cases[] = {{"no_channels.dat", hyp_without_channels}, {"half_nm.dat", flw_half_nanometre}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HYP_Data d;
        d.load_file(fixture("hyp_small.dat"), false);
        const auto header = d.header_lines;
        const auto a_wl = d.a_wavelengths;
        const double ref = d.scat_ref_a_wl;
        write_text(path(c.name), join_lines(c.lines));
        EXPECT_THROW(d.load_file(path(c.name), false), VelmoraError);
        EXPECT_EQ(d.file_name, fixture("hyp_small.dat"));
        EXPECT_EQ(d.instrument_type, InstrumentType::HYP);
        EXPECT_EQ(d.header_lines, header);
        EXPECT_EQ(d.a_wavelengths, a_wl);
        EXPECT_EQ(d.records.size(), 3u);
        EXPECT_EQ(d.a_coefs.size(), 3u);
        EXPECT_EQ(d.scat_ref_a_wl, ref);
        d.do_temp = true;
        EXPECT_EQ(d.correct_one_line(0).a_values.size(), 3u);
    }
}

TEST_F(DataReader, ProcessedFileLayout) {
    std::vector<std::string> lines = {"title", "Velmora processed data"};
    for (int i = 3; i <= 17; ++i)
        lines.push_back("anything " + std::to_string(i));
    lines.push_back("2\t; number of wavelengths");
    lines.push_back("");
    lines.push_back("");
    lines.push_back("Time(ms)\tDepth\tc410.5\tx\ta411\ta420.25\ttemp\tsaln\tpres");
    lines.push_back("line 22 is skipped");
    lines.push_back("10\t1\t2\t3\t4\t20.5\t33\t4.5");
    lines.push_back("   ");
    lines.push_back("20\t5\t6\t7\t8");
    lines.push_back("");
    lines.push_back("30\t9\t9\t9\t9");
    write_text(path("p.dat"), join_lines(lines));
    HYP_Data d;
    d.load_file(path("p.dat"), false);
    EXPECT_EQ(d.instrument_type, InstrumentType::Processed);
    EXPECT_TRUE(d.is_processed);
    EXPECT_EQ(d.num_wavelengths, 2);
    EXPECT_EQ(d.c_wavelengths, (std::vector<double>{410.5, 410.5}));
    EXPECT_EQ(d.a_wavelengths, (std::vector<double>{411, 420.25}));
    EXPECT_EQ(d.header_lines, (std::vector<std::string>{"Velmora processed data"}));
    EXPECT_TRUE(d.file_name.empty());
    // The empty line ends the data.
    ASSERT_EQ(d.records.size(), 2u);
    EXPECT_EQ(d.records[1].a_values, (std::vector<double>{7, 8}));
    EXPECT_EQ(d.onboard_list.samples[0].temperature, 20.5);
    EXPECT_EQ(d.onboard_list.samples[0].pressure, 4.5);
    EXPECT_EQ(d.onboard_list.samples[1].pressure, 4.5);

    lines.resize(20);
    write_text(path("short.dat"), join_lines(lines));
    HYP_Data s;
    EXPECT_EQ(error_of([&] { s.load_file(path("short.dat"), false); }),
              "can't figure out where I am");
}
