// UTC clock times with millisecond resolution: milliseconds since 1970-01-01T00:00:00Z, read
// from and written as ISO 8601 text.  No time zone database and no locale are involved.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace clock_time {

// Milliseconds since 1970-01-01T00:00:00Z.
using UtcMs = std::int64_t;

// Why a start time given by the user is refused.
inline constexpr const char* kStartTimeForm = "Start time must look like 2024-03-15T12:00:30Z.";

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
std::int64_t days_from_civil(int year, int month, int day);
void civil_from_days(std::int64_t days, int& year, int& month, int& day);

// Whether year/month/day is a date of the calendar (month 1-12, day within the month).
bool valid_date(int year, int month, int day);

// "YYYY-MM-DDThh:mm:ss[.fff][Z]" or "YYYY-MM-DD hh:mm:ss[.fff]", always UTC; the fraction has
// one to three digits (more are refused).  Nothing when the text is anything else, a date that
// does not exist or a time of day out of range.
std::optional<UtcMs> parse_iso(std::string_view text);

// "YYYY-MM-DD" or "MM/DD/YYYY": the day's start.
std::optional<UtcMs> parse_date(std::string_view text);
// "hh:mm:ss[.fff]": milliseconds since midnight.
std::optional<std::int64_t> parse_time_of_day(std::string_view text);

// "YYYY-MM-DDThh:mm:ss.sssZ".
std::string format_iso(UtcMs t);

// The text a file's first line carries after a tab: "start=YYYY-MM-DDThh:mm:ss.sssZ".
std::string start_field(UtcMs t);
// The start time a first line carries at its end ("...\tstart=ISO"); nothing when it carries
// none or a malformed one.
std::optional<UtcMs> start_in_line(std::string_view line);

constexpr std::int64_t kMsPerDay = 86400000;

} // namespace clock_time
