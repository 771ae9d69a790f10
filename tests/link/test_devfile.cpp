#include <gtest/gtest.h>

#include "devfile.h"
#include "link_test_util.h"

using linktest::TempDir;

namespace {

devfile parsed(const TempDir& dir, const std::string& content) {
    devfile d;
    d.parse(dir.write("x.dev", content));
    return d;
}

std::string parse_error(const TempDir& dir, const std::string& content) {
    devfile d;
    try {
        d.parse(dir.write("bad.dev", content));
    } catch (const VelmoraError& e) {
        return e.what();
    }
    return "(no error)";
}

// Replaces the `line_no`-th line (0-based) of `text`.
std::string with_line(const std::string& text, std::size_t line_no, const std::string& line) {
    std::size_t begin = 0;
    for (std::size_t i = 0; i < line_no; ++i)
        begin = text.find('\n', begin) + 1;
    const std::size_t end = text.find('\n', begin);
    return text.substr(0, begin) + line + text.substr(end);
}

} // namespace

TEST(Devfile, HypFieldsForLfAndCrlf) {
    TempDir dir;
    for (const char* eol : {"\n", "\r\n"}) {
        SCOPED_TRACE(eol[0] == '\r' ? "CRLF" : "LF");
        const devfile d = parsed(dir, linktest::hyp_devfile(3, eol));
        EXPECT_EQ(d.is_flw, 0);
        EXPECT_EQ(d.type_word, "HYP");
        EXPECT_EQ(d.serial_number, 7u);
        EXPECT_FLOAT_EQ(d.factory_cal_temp, 21.5f);
        EXPECT_FALSE(d.factory_cal_unparsed);
        EXPECT_EQ(d.baud_rate, 115200);
        EXPECT_DOUBLE_EQ(d.path_length, 0.25);
        EXPECT_EQ(d.num_tempbins, 3u);
        EXPECT_EQ(d.temp_bins, (std::vector<double>{10, 20, 30}));
        EXPECT_EQ(d.c_wl, (std::vector<double>{400, 410, 420}));
        EXPECT_EQ(d.a_wl, (std::vector<double>{401, 411, 421}));
        EXPECT_EQ(d.c_offsets, (std::vector<double>{0, 0.1, 0.2}));
        EXPECT_EQ(d.a_offsets, (std::vector<double>{0, -0.05, -0.1}));
        // Channel-major: channel 2, bin 1.
        EXPECT_DOUBLE_EQ(d.temp_adjustments_c[2 * 3 + 1], 0.12);
        EXPECT_DOUBLE_EQ(d.temp_adjustments_a[2 * 3 + 2], -0.22);
        EXPECT_EQ(d.lines.size(), 12u + 3u);
        EXPECT_EQ(d.lines.back(), "trailer two"); // no carriage return kept
        EXPECT_TRUE(d.a_order.empty());
        EXPECT_TRUE(d.channel_is_a.empty());
    }
}

TEST(Devfile, FactoryTemperatureLine) {
    TempDir dir;
    const std::string base = linktest::hyp_devfile(2);
    struct Case {
        const char* line;
        float temp;
        bool unparsed;
    } cases[] = {
        {"tcal: 21.5 C", 21.5f, false},
        {"tcal:\t-1.25", -1.25f, false},
        {"tcal: none given", 0.0f, true},
        {"tcal:", 0.0f, true},
    };
    for (const Case& c : cases) {
        const devfile d = parsed(dir, with_line(base, 3, c.line));
        EXPECT_FLOAT_EQ(d.factory_cal_temp, c.temp) << c.line;
        EXPECT_EQ(d.factory_cal_unparsed, c.unparsed) << c.line;
    }
}

TEST(Devfile, BinLineWithExtraFieldsKeepsDeclaredCount) {
    TempDir dir;
    const devfile d = parsed(dir, with_line(linktest::hyp_devfile(2), 9, "10\t20\t30\t40\t; bins"));
    EXPECT_EQ(d.temp_bins, (std::vector<double>{10, 20, 30}));
}

TEST(Devfile, FlwDescendingLinesAreReordered) {
    TempDir dir;
    for (const char* eol : {"\n", "\r\n"}) {
        const devfile d = parsed(dir, linktest::flw_devfile(linktest::flw_descending(), eol));
        EXPECT_EQ(d.is_flw, 1);
        EXPECT_EQ(d.serial_number, 4217u);
        EXPECT_EQ(d.lines.size(), 29u);
        EXPECT_EQ(d.a_order, (std::vector<std::int32_t>{8, 7, 6, 5, 4, 3, 2, 1, 0}));
        EXPECT_EQ(d.c_order, (std::vector<std::int32_t>{8, 7, 6, 5, 4, 3, 2, 1, 0}));
        ASSERT_EQ(d.channel_is_a.size(), 18u);
        EXPECT_FALSE(d.channel_is_a[0]);
        EXPECT_TRUE(d.channel_is_a[1]);
        for (int k = 0; k < 9; ++k) {
            EXPECT_DOUBLE_EQ(d.a_wl[k], 401.0 + 40 * k);
            EXPECT_DOUBLE_EQ(d.c_wl[k], 400.0 + 40 * k);
            EXPECT_DOUBLE_EQ(d.a_offsets[k], (401.0 + 40 * k) / 1000.0);
            // a line of ascending position k is file line 2 * (8 - k) + 1.
            EXPECT_DOUBLE_EQ(d.temp_adjustments_a[k * 2 + 1], (2 * (8 - k) + 1) / 100.0);
            EXPECT_DOUBLE_EQ(d.temp_adjustments_c[k * 2 + 1], (2 * (8 - k)) / 100.0);
        }
    }
}

TEST(Devfile, TempAdjustment) {
    TempDir dir;
    const devfile d = parsed(dir, linktest::hyp_devfile(3));
    // Channel 1: c adjustments 0.01, 0.11, 0.21 at 10, 20, 30 C; a: -0.01, -0.11, -0.21.
    struct Case {
        bool is_a;
        double t;
        double expected;
    } cases[] = {
        {false, 20.0, 0.11}, {false, 15.0, 0.06}, {false, 30.0, 0.21}, {false, 45.0, 0.21},
        {false, 10.0, 0.01}, {false, -5.0, 0.01}, {true, 25.0, -0.16}, {true, 2.0, -0.01},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(d.temp_adjustment(c.is_a, 1, c.t), c.expected, 1e-12)
            << (c.is_a ? "a" : "c") << " at " << c.t;
    // The located form is the same computation.
    for (double t : {-3.0, 10.0, 12.345, 29.99, 31.0})
        EXPECT_EQ(d.temp_adjustment(true, 2, t),
                  d.temp_adjustment_at(true, 2, d.locate_temperature(t)));
}

TEST(Devfile, Rejects) {
    TempDir dir;
    const std::string hyp = linktest::hyp_devfile(2);
    const std::string flw = linktest::flw_devfile(linktest::flw_descending());
    const std::string hyp_msg = "Unexpected error in devfile.";
    const std::string flw_msg = "Unexpected error in devfile";
    std::vector<linktest::FlwLine> ten_c = linktest::flw_descending();
    ten_c[1].letter = 'C';
    std::vector<linktest::FlwLine> odd_letter = linktest::flw_descending();
    odd_letter[4].letter = 'x';
    struct Case {
        const char* name;
        std::string content;
        std::string message;
    } cases[] = {
        {"no model", with_line(hyp, 0, "XYZ device"),
         "This file does not seem to be an FLW or HYP devfile."},
        {"model in lower case", with_line(hyp, 0, "hyp device"),
         "This file does not seem to be an FLW or HYP devfile."},
        {"empty file", "", "This file does not seem to be an FLW or HYP devfile."},
        {"too few bins", with_line(hyp, 9, "10\t20"),
         "Number of temperature bins misidentified in devfile."},
        {"zero bins", with_line(hyp, 8, "0"),
         "Number of temperature bins misidentified in devfile."},
        {"empty bin line HYP", with_line(hyp, 9, ""), hyp_msg},
        {"empty bin line FLW", with_line(flw, 8, " \t"), flw_msg},
        {"bins descending", with_line(hyp, 9, "30\t20\t10"),
         "Temperature bins of devfile are not in ascending order."},
        {"HYP line without fields", with_line(hyp, 10, ""), hyp_msg},
        {"HYP line cut short", with_line(hyp, 10, "C400\tA401\t0\t0.1\t0.2\t1\t2\t3\t4"), hyp_msg},
        {"HYP line without C", with_line(hyp, 10, "400\tA401\t0\t0\t0\t0\t0\t0\t0\t0\t0"), hyp_msg},
        {"HYP line A without number", with_line(hyp, 11, "C410\tA\t0\t0\t0\t0\t0\t0\t0\t0\t0"),
         hyp_msg},
        {"HYP wavelength lines missing", hyp.substr(0, hyp.find("C410")), hyp_msg},
        {"HYP no wavelengths", with_line(hyp, 7, "0"), hyp_msg},
        {"FLW ten c lines", linktest::flw_devfile(ten_c), flw_msg},
        {"FLW other letter", linktest::flw_devfile(odd_letter), flw_msg},
        {"FLW line cut short", with_line(flw, 9, "c720\t1\t0.7"), flw_msg},
        {"FLW line without fields", with_line(flw, 12, ""), flw_msg},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse_error(dir, c.content), c.message) << c.name;

    devfile d;
    EXPECT_THROW(
        {
            try {
                d.parse(dir.file("missing.dev"));
            } catch (const VelmoraError& e) {
                EXPECT_STREQ(e.what(), "Unable to open devfile.");
                throw;
            }
        },
        VelmoraError);
}

TEST(Devfile, FailedParseLeavesPreviousContents) {
    TempDir dir;
    devfile d;
    d.parse(dir.write("good.dev", linktest::hyp_devfile(3)));
    EXPECT_THROW(d.parse(dir.write("bad.dev", with_line(linktest::hyp_devfile(3), 11, "C1"))),
                 VelmoraError);
    EXPECT_EQ(d.a_wl.size(), 3u);
    EXPECT_EQ(d.lines.size(), 15u);
    EXPECT_EQ(d.temp_adjustments_a.size(), 9u);
}

TEST(Devfile, PeekDeviceKind) {
    TempDir dir;
    struct Case {
        const char* content;
        DeviceKind kind;
    } cases[] = {
        {"HYP\tx\n", DeviceKind::HYP},     {"hyp\n", DeviceKind::HYP},
        {"Flw more\r\n", DeviceKind::FLW}, {"FL\nW\n", DeviceKind::Neither},
        {"", DeviceKind::Neither},         {" HYP\n", DeviceKind::Neither},
    };
    for (const Case& c : cases)
        EXPECT_EQ(peek_device_kind(dir.write("p.dev", c.content)), c.kind) << c.content;
    EXPECT_EQ(peek_device_kind(dir.file("none.dev")), DeviceKind::Neither);
}

TEST(Devfile, SampleFilesParse) {
    devfile hyp, flw;
    hyp.parse(VELMORA_DATA_DIR "/sample_hyp.dev");
    flw.parse(VELMORA_DATA_DIR "/sample_flw.dev");
    EXPECT_EQ(hyp.a_wl.size(), 85u);
    EXPECT_EQ(hyp.lines.size(), 12u + 85u);
    EXPECT_EQ(flw.lines.size(), 29u);
    EXPECT_TRUE(std::is_sorted(flw.a_wl.begin(), flw.a_wl.end()));
}
