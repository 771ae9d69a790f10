// UTC clock times: the civil calendar and ISO 8601 text.
#include "clock_time.h"

#include <cstdio>

namespace clock_time {

// Howard Hinnant's days-from-civil algorithm (public domain), years as 64-bit to be safe.
std::int64_t days_from_civil(int year, int month, int day) {
    std::int64_t y = year;
    y -= month <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civil_from_days(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = yoe + era * 400;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

bool valid_date(int year, int month, int day) {
    if (month < 1 || month > 12 || day < 1)
        return false;
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int last = month == 2 && leap ? 29 : kDays[month - 1];
    return day <= last;
}

namespace {

// Exactly `digits` decimal digits at s[pos...]; advances pos.
bool digits_at(std::string_view s, std::size_t& pos, int digits, int& out) {
    if (pos + static_cast<std::size_t>(digits) > s.size())
        return false;
    int v = 0;
    for (int i = 0; i < digits; ++i) {
        const char ch = s[pos + static_cast<std::size_t>(i)];
        if (ch < '0' || ch > '9')
            return false;
        v = v * 10 + (ch - '0');
    }
    pos += static_cast<std::size_t>(digits);
    out = v;
    return true;
}

bool char_at(std::string_view s, std::size_t& pos, char ch) {
    if (pos >= s.size() || s[pos] != ch)
        return false;
    ++pos;
    return true;
}

// "hh:mm:ss[.f[f[f]]]" from pos; advances pos past what it read.
std::optional<std::int64_t> time_of_day_at(std::string_view s, std::size_t& pos) {
    int h = 0, m = 0, sec = 0;
    if (!digits_at(s, pos, 2, h) || !char_at(s, pos, ':') || !digits_at(s, pos, 2, m) ||
        !char_at(s, pos, ':') || !digits_at(s, pos, 2, sec))
        return std::nullopt;
    if (h > 23 || m > 59 || sec > 59)
        return std::nullopt;
    int ms = 0;
    if (pos < s.size() && s[pos] == '.') {
        ++pos;
        int count = 0;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
            if (++count > 3)
                return std::nullopt;
            ms = ms * 10 + (s[pos] - '0');
            ++pos;
        }
        if (count == 0)
            return std::nullopt;
        for (; count < 3; ++count)
            ms *= 10;
    }
    return ((h * 60 + m) * 60 + sec) * std::int64_t{1000} + ms;
}

std::optional<UtcMs> iso_date_at(std::string_view s, std::size_t& pos) {
    int y = 0, mo = 0, d = 0;
    if (!digits_at(s, pos, 4, y) || !char_at(s, pos, '-') || !digits_at(s, pos, 2, mo) ||
        !char_at(s, pos, '-') || !digits_at(s, pos, 2, d) || !valid_date(y, mo, d))
        return std::nullopt;
    return days_from_civil(y, mo, d) * kMsPerDay;
}

} // namespace

std::optional<UtcMs> parse_iso(std::string_view s) {
    std::size_t pos = 0;
    const std::optional<UtcMs> day = iso_date_at(s, pos);
    if (!day || pos >= s.size())
        return std::nullopt;
    const bool t_form = s[pos] == 'T';
    if (!t_form && s[pos] != ' ')
        return std::nullopt;
    ++pos;
    const std::optional<std::int64_t> tod = time_of_day_at(s, pos);
    if (!tod)
        return std::nullopt;
    if (t_form && pos < s.size() && s[pos] == 'Z')
        ++pos;
    if (pos != s.size())
        return std::nullopt;
    return *day + *tod;
}

std::optional<UtcMs> parse_date(std::string_view s) {
    std::size_t pos = 0;
    if (s.size() == 10 && s[2] == '/') {
        int y = 0, mo = 0, d = 0;
        if (!digits_at(s, pos, 2, mo) || !char_at(s, pos, '/') || !digits_at(s, pos, 2, d) ||
            !char_at(s, pos, '/') || !digits_at(s, pos, 4, y) || !valid_date(y, mo, d))
            return std::nullopt;
        return days_from_civil(y, mo, d) * kMsPerDay;
    }
    const std::optional<UtcMs> day = iso_date_at(s, pos);
    if (!day || pos != s.size())
        return std::nullopt;
    return day;
}

std::optional<std::int64_t> parse_time_of_day(std::string_view s) {
    std::size_t pos = 0;
    const std::optional<std::int64_t> tod = time_of_day_at(s, pos);
    if (!tod || pos != s.size())
        return std::nullopt;
    return tod;
}

std::string format_iso(UtcMs t) {
    std::int64_t days = t / kMsPerDay;
    std::int64_t rest = t % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --days;
    }
    int y = 0, mo = 0, d = 0;
    civil_from_days(days, y, mo, d);
    const int ms = static_cast<int>(rest % 1000);
    const int sec = static_cast<int>(rest / 1000 % 60);
    const int min = static_cast<int>(rest / 60000 % 60);
    const int h = static_cast<int>(rest / 3600000);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", y, mo, d, h, min, sec,
                  ms);
    return buf;
}

std::string start_field(UtcMs t) {
    return "start=" + format_iso(t);
}

std::optional<UtcMs> start_in_line(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    const std::size_t tab = line.rfind('\t');
    if (tab == std::string_view::npos)
        return std::nullopt;
    const std::string_view field = line.substr(tab + 1);
    constexpr std::string_view kKey = "start=";
    if (field.substr(0, kKey.size()) != kKey)
        return std::nullopt;
    return parse_iso(field.substr(kKey.size()));
}

} // namespace clock_time
