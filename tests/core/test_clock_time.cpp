// UTC clock-time text: the forms a start time is given in, the calendar behind them and the
// start field of a file's first line.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "clock_time.h"

namespace {

constexpr std::int64_t kDay = clock_time::kMsPerDay;
// 2024-03-15T12:00:30Z
constexpr std::int64_t kMarch15 = (19797 * 86400LL + 12 * 3600 + 30) * 1000;

} // namespace

TEST(ClockTime, ReadsTheAcceptedForms) {
    struct Case {
        const char* text;
        std::int64_t ms;
    };
    const Case cases[] = {
        {"2024-03-15T12:00:30Z", kMarch15},
        {"2024-03-15T12:00:30", kMarch15},
        {"2024-03-15 12:00:30", kMarch15},
        {"2024-03-15T12:00:30.250Z", kMarch15 + 250},
        {"2024-03-15T12:00:30.25", kMarch15 + 250},
        {"2024-03-15 12:00:30.2", kMarch15 + 200},
        {"2024-03-15T12:00:30.007Z", kMarch15 + 7},
        {"1970-01-01T00:00:00Z", 0},
        {"1969-12-31T23:59:59.999Z", -1},
        {"2024-02-29T00:00:00Z", 19782 * kDay}, // leap year
        {"2000-02-29T00:00:00Z", 11016 * kDay}, // divisible by 400
        {"2024-12-31T23:59:59.999Z", 20089 * kDay - 1},
    };
    for (const Case& c : cases) {
        const std::optional<std::int64_t> t = clock_time::parse_iso(c.text);
        ASSERT_TRUE(t.has_value()) << c.text;
        EXPECT_EQ(*t, c.ms) << c.text;
    }
}

TEST(ClockTime, RefusesEverythingElse) {
    for (const char* text : {
             "",
             "2024-03-15",
             "2024-03-15T12:00",
             "2024-03-15 12:00:30Z",      // Z only with the T form
             "2024-03-15T12:00:30.Z",     // a point without digits
             "2024-03-15T12:00:30.1234Z", // more than milliseconds
             "2024-03-15T12:00:30+01:00", // UTC only
             "2024-03-15T12:00:30Z ",     // trailing text
             " 2024-03-15T12:00:30Z",     // leading text
             "2024-3-15T12:00:30Z",       // two-digit month
             "15/03/2024 12:00:30",
             "2023-02-29T00:00:00Z", // not a leap year
             "1900-02-29T00:00:00Z", // century, not divisible by 400
             "2024-04-31T00:00:00Z",
             "2024-13-01T00:00:00Z",
             "2024-00-10T00:00:00Z",
             "2024-03-00T00:00:00Z",
             "2024-03-15T24:00:00Z",
             "2024-03-15T12:60:00Z",
             "2024-03-15T12:00:60Z", // no leap seconds
             "2024-03-15t12:00:30z",
         })
        EXPECT_FALSE(clock_time::parse_iso(text).has_value()) << '"' << text << '"';
}

TEST(ClockTime, FormatsWhatItReads) {
    for (const std::int64_t t :
         {std::int64_t{0}, std::int64_t{-1}, kMarch15 + 250, 19782 * kDay + 999, 11016 * kDay - 1,
          std::int64_t{253402300799999}}) {
        const std::string text = clock_time::format_iso(t);
        EXPECT_EQ(text.size(), 24u) << text;
        EXPECT_EQ(clock_time::parse_iso(text), t) << text;
    }
    EXPECT_EQ(clock_time::format_iso(kMarch15 + 250), "2024-03-15T12:00:30.250Z");
    EXPECT_EQ(clock_time::format_iso(-1), "1969-12-31T23:59:59.999Z");
    EXPECT_EQ(clock_time::start_field(kMarch15), "start=2024-03-15T12:00:30.000Z");
}

TEST(ClockTime, StartInTheFirstLine) {
    struct Case {
        const char* line;
        std::optional<std::int64_t> start;
    };
    const Case cases[] = {
        {"File created by Velmora version 2.0\tstart=2024-03-15T12:00:30.250Z", kMarch15 + 250},
        {"Output of hyp/flw data\tstart=2024-03-15T12:00:30.250Z\r\n", kMarch15 + 250},
        {"File created by Velmora version 2.0", std::nullopt},
        {"", std::nullopt},
        {"File created by Velmora version 2.0 start=2024-03-15T12:00:30Z", std::nullopt},
        {"File created by Velmora version 2.0\tstart=", std::nullopt},
        {"File created by Velmora version 2.0\tstart=2024-02-30T00:00:00Z", std::nullopt},
        {"File created by Velmora version 2.0\tstart=yesterday", std::nullopt},
        {"File created by Velmora version 2.0\tbegin=2024-03-15T12:00:30Z", std::nullopt},
        // Only the last field counts.
        {"x\tstart=2024-03-15T12:00:30Z\tother", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(clock_time::start_in_line(c.line), c.start) << c.line;
}
