// Number formats of every file: "%g"-style output and string-to-double input, which must not
// depend on the user's locale.
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "comma_locale.h"
#include "fast_format.h"
#include "text.h"

namespace {

std::string printf_g(double v, int precision) {
    const CLocaleScope c_locale;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", precision, v);
    return buf;
}

std::string printf_f(double v, int decimals) {
    const CLocaleScope c_locale;
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

const double kTableValues[] = {
    250.0,
    0.123456789012,
    -0.5,
    1e-05,
    400.5,
    2.5,
    0.0,
    -0.0,
    1.0,
    715.0,
    412.39,
    0.0001,
    0.00001234567,
    123456.5,
    1234567.0,
    9999995.0,
    999999.5,
    99999.95,
    1e15,
    1e16,
    1.5e300,
    -2.5e-300,
    4.9e-324,
    1.7976931348623157e308,
    0.1,
    1.0 / 3.0,
    2.0 / 3.0,
    1e100,
    123456789012.0,
    0.000123456789012,
    9.9999999995,
    0.30000000000000004,
    5e-5,
    1234567890.0,
    std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::quiet_NaN(),
};

// Draws doubles of every magnitude: random bit patterns and rounded decimals near the edges of
// the fixed/exponent switch.
std::vector<double> random_values() {
    std::mt19937_64 rng(20260101);
    std::vector<double> v;
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t bits = rng();
        double x;
        std::memcpy(&x, &bits, sizeof x);
        if (std::isfinite(x))
            v.push_back(x);
    }
    std::uniform_real_distribution<double> mant(-10.0, 10.0);
    std::uniform_int_distribution<int> expo(-12, 14);
    for (int i = 0; i < 20000; ++i) {
        const double x = mant(rng) * std::pow(10.0, expo(rng));
        v.push_back(x);
        // Values that round up to the next power of ten at 6 or 10 digits.
        v.push_back(std::nextafter(std::round(x), 0.0) - 0.5);
    }
    return v;
}

void expect_formats_match_printf(const char* context) {
    SCOPED_TRACE(context);
    for (double v : kTableValues) {
        for (int p : {6, 10}) {
            EXPECT_EQ(text::format_g(v, p), printf_g(v, p)) << "%." << p << "g of " << v;
            std::string appended = "x";
            text::append_g(appended, v, p);
            EXPECT_EQ(appended.substr(1), printf_g(v, p));
            EXPECT_EQ(appended[0], 'x');
        }
        if (std::isfinite(v)) {
            for (int d : {0, 1, 3})
                EXPECT_EQ(text::format_fixed(v, d), printf_f(v, d)) << "%." << d << "f of " << v;
        }
    }
    int mismatches = 0;
    for (double v : random_values())
        for (int p : {6, 10})
            if (text::format_g(v, p) != printf_g(v, p) && ++mismatches < 10)
                ADD_FAILURE() << "%." << p << "g of " << printf_g(v, 17) << ": "
                              << text::format_g(v, p) << " vs " << printf_g(v, p);
    EXPECT_EQ(mismatches, 0);
}

TEST(FormatG, SpellsNumbersAsPrintfDoes) {
    EXPECT_EQ(text::format_g(250.0, 10), "250");
    EXPECT_EQ(text::format_g(0.123456789012, 10), "0.123456789");
    EXPECT_EQ(text::format_g(-0.5, 10), "-0.5");
    EXPECT_EQ(text::format_g(1e-05, 6), "1e-05");
    EXPECT_EQ(text::format_g(400.5, 6), "400.5");
    EXPECT_EQ(text::format_g(0.0123456789, 6), "0.0123457");
    std::setlocale(LC_ALL, "C");
    expect_formats_match_printf("C locale");
}

// The string-to-double rules, as strtod applies them in the C locale.
const char* const kParseCases[] = {
    "250",
    "  12.5abc",
    "\t-3",
    "1e",
    "1e+",
    "1e-5x",
    "-.5",
    "+3",
    "+.5e2z",
    ".",
    "-",
    "+",
    "+-3",
    "--3",
    "-+3",
    "abc",
    "",
    "   ",
    "1.2.3",
    "5.",
    "1,5",
    "0x1A",
    "0X.8p1",
    "0x",
    "0xg",
    "1e400",
    "-1e400",
    "1e-400",
    "4.9e-324",
    "inf",
    "-Infinity",
    "nan",
    "NaN(1)",
    "12e3",
    "0012.50",
    "1E5",
    "2.5e+0010",
    "-0",
    "e5",
    "\r\n7",
    "0.00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000001",
    "1234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901"
    "2345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012"
    "3456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123"
    "4567890123456789012345678901234567890.5",
};

void expect_parse_matches_strtod(const char* context) {
    SCOPED_TRACE(context);
    const CLocaleScope c_locale; // the oracle: strtod in the C locale
    for (const char* s : kParseCases) {
        char* end = nullptr;
        const double expected = std::strtod(s, &end);
        std::size_t consumed = 99;
        const double got = text::parse_double(s, &consumed);
        const std::size_t expected_used = end == s ? 0 : static_cast<std::size_t>(end - s);
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(got)) << '"' << s << '"';
        } else {
            EXPECT_EQ(got, expected) << '"' << s << '"';
            EXPECT_EQ(std::signbit(got), std::signbit(expected)) << '"' << s << '"';
        }
        EXPECT_EQ(consumed, expected_used) << '"' << s << '"';
    }
}

TEST(ParseDouble, FollowsTheStringToDoubleRules) {
    struct Case {
        const char* text;
        double value;
        std::size_t consumed;
    };
    const Case cases[] = {
        {"  12.5abc", 12.5, 6}, {"1e", 1.0, 1}, {"-.5", -0.5, 3}, {"+3", 3.0, 2},
        {"abc", 0.0, 0},        {"", 0.0, 0},   {"+-3", 0.0, 0},  {"1,5", 1.0, 1},
    };
    for (const Case& c : cases) {
        std::size_t consumed = 99;
        EXPECT_EQ(text::parse_double(c.text, &consumed), c.value) << c.text;
        EXPECT_EQ(consumed, c.consumed) << c.text;
    }
    // Not a NUL-terminated string: the view's end is the end.
    const std::string_view partial = std::string_view("3.25e2", 4);
    EXPECT_EQ(text::parse_double(partial), 3.25);
    std::setlocale(LC_ALL, "C");
    expect_parse_matches_strtod("C locale");
}

TEST(ParseTypedNumber, TakesADecimalCommaOnlyWhenThereIsNoPoint) {
    const struct {
        const char* typed;
        double value;
        std::size_t used;
    } cases[] = {
        {"21,5", 21.5, 4}, {" -0,25 C", -0.25, 6}, {"716.7", 716.7, 5}, {"1.234,5", 1.234, 5},
        {"1,5,5", 1.5, 3}, {",5", 0.5, 2},         {"abc", 0.0, 0},     {"", 0.0, 0},
        {"17", 17.0, 2},   {"1e3,5", 1000.0, 3},
    };
    for (const auto& c : cases) {
        std::size_t used = 99;
        EXPECT_EQ(text::parse_typed_number(c.typed, &used), c.value) << '"' << c.typed << '"';
        EXPECT_EQ(used, c.used) << '"' << c.typed << '"';
    }
}

TEST(ParseLong, DigitsAfterBlanksAndSign) {
    bool ok = false;
    EXPECT_EQ(text::parse_long("  -42x", &ok), -42);
    EXPECT_TRUE(ok);
    EXPECT_EQ(text::parse_long("+7", &ok), 7);
    EXPECT_TRUE(ok);
    EXPECT_EQ(text::parse_long("x7", &ok), 0);
    EXPECT_FALSE(ok);
    EXPECT_EQ(text::parse_long("+-7", &ok), 0);
    EXPECT_FALSE(ok);
    EXPECT_EQ(text::parse_hex("0x1F", &ok), 0x1Fu);
    EXPECT_TRUE(ok);
}

// "%i" integers read as strtoll reads them, also past the range of long long, where both give
// the largest value of the sign.
TEST(ParseIntAuto, ReadsAsStrtoll) {
    for (const char* s : {"42", "-42", "  +9;", "0x1F", "-0x10", "017", "089",
                          "9223372036854775807", "-9223372036854775808", "9223372036854775808",
                          "-9223372036854775809", "4888888888888888888888", "0xFFFFFFFFFFFFFFFFFF",
                          "-0x8000000000000001", "07777777777777777777777777"}) {
        SCOPED_TRACE(s);
        bool ok = false;
        EXPECT_EQ(text::parse_int_auto(s, &ok), std::strtoll(s, nullptr, 0));
        EXPECT_TRUE(ok);
    }
}

// A numpunct facet with a decimal comma, for the C++ global locale.
struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

// Switches the C library to a decimal-comma locale, generated into a temporary directory when
// none is installed (kept in `generated_dir` for removal).  Returns the name used, empty when
// none could be had.
std::string set_comma_c_locale(std::string& generated_dir) {
    char dir[] = "/tmp/velmora_locale_XXXXXX";
    if (!mkdtemp(dir))
        return {};
    generated_dir = dir;
    const CommaLocaleName comma = find_comma_locale(dir);
    if (comma.name.empty())
        return {};
    if (!comma.locpath.empty())
        setenv("LOCPATH", comma.locpath.c_str(), 1);
    return std::setlocale(LC_ALL, comma.name.c_str()) ? comma.name : std::string();
}

class CommaLocale : public ::testing::Test {
  protected:
    void TearDown() override {
        std::locale::global(std::locale::classic());
        std::setlocale(LC_ALL, "C");
        if (!generated_dir.empty())
            std::system(("rm -rf '" + generated_dir + "'").c_str());
    }
    std::string generated_dir;
};

TEST_F(CommaLocale, CppGlobalLocaleChangesNothing) {
    std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    ASSERT_EQ(std::use_facet<std::numpunct<char>>(std::locale()).decimal_point(), ',');
    EXPECT_EQ(text::format_g(400.5, 6), "400.5");
    EXPECT_EQ(text::format_g(-0.5, 10), "-0.5");
    EXPECT_EQ(text::format_fixed(21.25, 1), "21.2");
    EXPECT_EQ(text::parse_double("400.5"), 400.5);
    EXPECT_EQ(text::parse_double("1,5"), 1.0);
    expect_formats_match_printf("C++ global locale with a decimal comma");
}

TEST_F(CommaLocale, CLibraryLocaleChangesNothing) {
    const std::string name = set_comma_c_locale(generated_dir);
    if (name.empty())
        GTEST_SKIP() << "no decimal-comma C locale could be installed or generated";
    // Prove the locale is in force: printf itself now writes a comma.
    char comma[16];
    std::snprintf(comma, sizeof comma, "%g", 0.5);
    ASSERT_STREQ(comma, "0,5") << name;
    EXPECT_EQ(text::format_g(400.5, 6), "400.5");
    EXPECT_EQ(text::format_g(0.123456789012, 10), "0.123456789");
    EXPECT_EQ(text::parse_double("-.5"), -0.5);
    EXPECT_EQ(text::parse_double("400,5"), 400.0);
    // Compare with printf and strtod once they are back in the C locale.
    std::vector<std::string> ours;
    for (double v : kTableValues)
        ours.push_back(text::format_g(v, 10));
    std::vector<double> parsed;
    for (const char* s : kParseCases)
        parsed.push_back(text::parse_double(s));
    std::setlocale(LC_ALL, "C");
    for (std::size_t i = 0; i < std::size(kTableValues); ++i)
        EXPECT_EQ(ours[i], printf_g(kTableValues[i], 10));
    for (std::size_t i = 0; i < std::size(kParseCases); ++i) {
        const double expected = std::strtod(kParseCases[i], nullptr);
        if (std::isnan(expected))
            EXPECT_TRUE(std::isnan(parsed[i]));
        else
            EXPECT_EQ(parsed[i], expected) << '"' << kParseCases[i] << '"';
    }
}

// The record lines' fast "%.10g": the shortest-round-trip conversion of the standard library
// at ten digits is the reference.
TEST(FastFormat, MatchesPrintfGeneralFormat) {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  250.0,
                                  -0.5,
                                  0.123456789012,
                                  1e-05,
                                  400.5,
                                  2.5,
                                  1234567890.5,
                                  1234567891.5,
                                  9999999999.4,
                                  9999999999.5,
                                  99999.999995,
                                  0.000099999999995,
                                  1e-11,
                                  1e10,
                                  1e-300,
                                  1e300,
                                  0.1,
                                  0.3,
                                  1.0 / 3.0,
                                  5e-5,
                                  123456.78901234};
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> exponent(-13.0, 12.0);
    for (int i = 0; i < 200000; ++i) {
        const double v = std::pow(10.0, exponent(rng));
        values.push_back(i % 2 ? v : -v);
        values.push_back(std::round(v * 1e4) / 1e4);
        values.push_back(static_cast<double>(i) * 0.5 + 1e9); // exact ties at the 10th digit
    }
    for (const double v : values) {
        char fast[fastfmt::kMaxG10], slow[64];
        const char* end = fastfmt::format_g10(fast, v);
        const std::string fast_text(static_cast<const char*>(fast), end);
        const auto r = std::to_chars(slow, slow + sizeof slow, v, std::chars_format::general, 10);
        ASSERT_EQ(fast_text, std::string(slow, r.ptr));
    }
}

} // namespace
