// NMEA 0183 logs: reading the fixes of RMC and GGA sentences, and giving every record of a data
// set the position at its clock time.
#include "gps.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "file_checks.h"
#include "file_lines.h"
#include "hyp_data.h"
#include "text.h"

namespace {

constexpr std::int64_t kMsPerHour = 3600000;
constexpr std::size_t kMaxFields = 24;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool all_digits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), is_digit);
}

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int two_digits(std::string_view s, std::size_t pos) {
    return (s[pos] - '0') * 10 + (s[pos + 1] - '0');
}

// "hhmmss[.s...]": milliseconds since midnight (the fraction rounded to the millisecond).
std::optional<std::int64_t> time_of_day(std::string_view f) {
    if (f.size() < 6 || !all_digits(f.substr(0, 6)))
        return std::nullopt;
    const int h = two_digits(f, 0), m = two_digits(f, 2), s = two_digits(f, 4);
    if (h > 23 || m > 59 || s > 59)
        return std::nullopt;
    int ms = 0;
    if (f.size() > 6) {
        const std::string_view frac = f.substr(7);
        if (f[6] != '.' || !all_digits(frac))
            return std::nullopt;
        for (std::size_t i = 0; i < 3; ++i)
            ms = ms * 10 + (i < frac.size() ? frac[i] - '0' : 0);
        if (frac.size() > 3 && frac[3] >= '5')
            ++ms;
    }
    return ((h * 60 + m) * 60 + s) * std::int64_t{1000} + ms;
}

// "ddmmyy": the day's start.  Two-digit years from 80 are the 1900s.
std::optional<clock_time::UtcMs> date_of(std::string_view f) {
    if (f.size() != 6 || !all_digits(f))
        return std::nullopt;
    const int day = two_digits(f, 0), month = two_digits(f, 2), yy = two_digits(f, 4);
    const int year = yy >= 80 ? 1900 + yy : 2000 + yy;
    if (!clock_time::valid_date(year, month, day))
        return std::nullopt;
    return clock_time::days_from_civil(year, month, day) * clock_time::kMsPerDay;
}

// "ddmm.mmmm" (latitude, up to two degree digits) or "dddmm.mmmm" (longitude, three) with its
// hemisphere letter: signed decimal degrees.
std::optional<double> coordinate(std::string_view f, std::string_view hemisphere, bool latitude) {
    const std::size_t dot = std::min(f.find('.'), f.size());
    const std::string_view whole = f.substr(0, dot);
    const std::string_view frac = dot < f.size() ? f.substr(dot + 1) : std::string_view{};
    const std::size_t max_whole = latitude ? 4 : 5;
    if (whole.size() < 2 || whole.size() > max_whole || !all_digits(whole) || !all_digits(frac))
        return std::nullopt;
    double degrees = 0.0;
    for (const char c : whole.substr(0, whole.size() - 2))
        degrees = degrees * 10.0 + (c - '0');
    std::size_t used = 0;
    const std::string_view minutes_text =
        f.substr(whole.size() - 2, frac.empty() ? 2 : std::string_view::npos);
    const double minutes = text::parse_double(minutes_text, &used);
    if (used != minutes_text.size() || !(minutes < 60.0))
        return std::nullopt;
    const double value = degrees + minutes / 60.0;
    if (value > (latitude ? 90.0 : 180.0))
        return std::nullopt;
    if (hemisphere.size() != 1)
        return std::nullopt;
    const char h = hemisphere[0];
    if (latitude ? h == 'N' : h == 'E')
        return value;
    if (latitude ? h == 'S' : h == 'W')
        return value == 0.0 ? 0.0 : -value;
    return std::nullopt;
}

// Walks a log line by line and keeps the fixes in file order.
class NmeaParser {
  public:
    void line(std::string_view line);
    GpsLog finish();

  private:
    enum class Kind { Rmc, Gga };
    // False when a field does not parse.
    bool rmc(const std::string_view* f, std::size_t n);
    bool gga(const std::string_view* f, std::size_t n);

    GpsLog log_;
    // The date (day start) and time of day of the last RMC read.
    std::optional<clock_time::UtcMs> rmc_day_;
    std::int64_t rmc_time_ = 0;
};

void NmeaParser::line(std::string_view line) {
    const std::size_t dollar = line.find('$');
    if (dollar == std::string_view::npos)
        return;
    std::string_view s = line.substr(dollar + 1);
    while (!s.empty() && text::is_blank(s.back()))
        s.remove_suffix(1);
    const std::string_view id = s.substr(0, std::min(s.find(','), s.find('*')));
    Kind kind;
    if (id == "GPRMC" || id == "GNRMC")
        kind = Kind::Rmc;
    else if (id == "GPGGA" || id == "GNGGA")
        kind = Kind::Gga;
    else
        return;

    // The checksum, when there is one, is the XOR of every character between '$' and '*'.
    std::string_view body = s;
    if (const std::size_t star = s.find('*'); star != std::string_view::npos) {
        body = s.substr(0, star);
        const std::string_view sum = s.substr(star + 1);
        const int hi = sum.size() == 2 ? hex_value(sum[0]) : -1;
        const int lo = sum.size() == 2 ? hex_value(sum[1]) : -1;
        unsigned char x = 0;
        for (const char c : body)
            x ^= static_cast<unsigned char>(c);
        if (hi < 0 || lo < 0 || x != hi * 16 + lo) {
            ++log_.skipped;
            return;
        }
    }

    std::string_view fields[kMaxFields];
    std::size_t n = 0;
    while (n < kMaxFields) {
        const std::size_t comma = body.find(',');
        fields[n++] = body.substr(0, comma);
        if (comma == std::string_view::npos)
            break;
        body.remove_prefix(comma + 1);
    }
    const bool read = kind == Kind::Rmc ? rmc(fields, n) : gga(fields, n);
    if (!read)
        ++log_.skipped;
}

// $GPRMC,time,status,lat,N/S,lon,E/W,speed,course,ddmmyy,...
bool NmeaParser::rmc(const std::string_view* f, std::size_t n) {
    if (n < 10)
        return false;
    const std::string_view status = f[2];
    if (status != "A" && status != "V")
        return false;
    const std::optional<std::int64_t> time = time_of_day(f[1]);
    const std::optional<clock_time::UtcMs> day = date_of(f[9]);
    // A receiver without a fix ("V") may still know the date; its empty fields are no fault.
    if (status == "V") {
        if (time && day) {
            rmc_day_ = day;
            rmc_time_ = *time;
        }
        return true;
    }
    const std::optional<double> lat = coordinate(f[3], f[4], true);
    const std::optional<double> lon = coordinate(f[5], f[6], false);
    if (!time || !day || !lat || !lon)
        return false;
    rmc_day_ = day;
    rmc_time_ = *time;
    log_.fixes.push_back({*day + *time, *lat, wrap_longitude(*lon)});
    return true;
}

// $GPGGA,time,lat,N/S,lon,E/W,quality,...
bool NmeaParser::gga(const std::string_view* f, std::size_t n) {
    if (n < 7)
        return false;
    const std::string_view quality = f[6];
    if (quality.empty() || quality.size() > 2 || !all_digits(quality))
        return false;
    if (quality == "0" || quality == "00")
        return true; // no fix
    const std::optional<std::int64_t> time = time_of_day(f[1]);
    const std::optional<double> lat = coordinate(f[2], f[3], true);
    const std::optional<double> lon = coordinate(f[4], f[5], false);
    if (!time || !lat || !lon)
        return false;
    if (!rmc_day_)
        return true; // no date yet
    clock_time::UtcMs t = *rmc_day_ + *time;
    // Midnight has passed since the RMC.
    if (*time < rmc_time_ - 12 * kMsPerHour)
        t += clock_time::kMsPerDay;
    log_.fixes.push_back({t, *lat, wrap_longitude(*lon)});
    return true;
}

GpsLog NmeaParser::finish() {
    // In time order; of fixes with the same time the first in the file stays.
    std::vector<GpsFix>& fixes = log_.fixes;
    std::stable_sort(fixes.begin(), fixes.end(),
                     [](const GpsFix& a, const GpsFix& b) { return a.time < b.time; });
    fixes.erase(std::unique(fixes.begin(), fixes.end(),
                            [](const GpsFix& a, const GpsFix& b) { return a.time == b.time; }),
                fixes.end());
    return std::move(log_);
}

} // namespace

double wrap_longitude(double lon) {
    double x = std::fmod(lon + 180.0, 360.0);
    if (x < 0.0)
        x += 360.0;
    x -= 180.0;
    return x >= 180.0 ? x - 360.0 : x;
}

GpsLog read_nmea(std::string_view text) {
    NmeaParser parser;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        parser.line(text::chomp(text.substr(0, nl)));
        if (nl == std::string_view::npos)
            break;
        text.remove_prefix(nl + 1);
    }
    return parser.finish();
}

GpsLog read_nmea_file(const std::string& path) {
    file_checks::refuse_folder(path);
    fileio::LineReader in(path);
    if (!in.is_open())
        throw VelmoraError("Unable to open file.");
    NmeaParser parser;
    std::string_view line;
    while (in.next(line))
        parser.line(line);
    if (in.failed())
        throw VelmoraError("Unable to read file.\n");
    return parser.finish();
}

LatLon gps_position_at(const std::vector<GpsFix>& fixes, const std::vector<double>& fix_ms,
                       double at_ms) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    const std::size_t n = std::min(fixes.size(), fix_ms.size());
    if (n == 0 || !std::isfinite(at_ms))
        return {nan, nan};
    const std::size_t after = static_cast<std::size_t>(
        std::upper_bound(fix_ms.begin(), fix_ms.begin() + static_cast<std::ptrdiff_t>(n), at_ms) -
        fix_ms.begin());
    if (after == 0 || after == n) {
        const std::size_t k = after == 0 ? 0 : n - 1;
        if (std::abs(at_ms - fix_ms[k]) > kGpsMaxGapMs)
            return {nan, nan};
        return {fixes[k].lat, fixes[k].lon};
    }
    const GpsFix& a = fixes[after - 1];
    const GpsFix& b = fixes[after];
    const double since = at_ms - fix_ms[after - 1], until = fix_ms[after] - at_ms;
    if (std::min(since, until) > kGpsMaxGapMs)
        return {nan, nan};
    const double f = since / (fix_ms[after] - fix_ms[after - 1]);
    return {a.lat + f * (b.lat - a.lat), wrap_longitude(a.lon + f * wrap_longitude(b.lon - a.lon))};
}

std::string nmea_skip_report(std::size_t sentences) {
    return "Skipped " + std::to_string(sentences) + " NMEA sentences that could not be read.";
}

std::size_t HYP_Data::merge_gps(const std::string& path) {
    if (!start_utc)
        throw VelmoraError(kGpsNeedsStartTime);
    const GpsLog log = read_nmea_file(path);
    if (log.fixes.empty())
        throw VelmoraError(kNoGpsFixes);
    std::vector<double> fix_ms;
    fix_ms.reserve(log.fixes.size());
    for (const GpsFix& fix : log.fixes)
        fix_ms.push_back(static_cast<double>(fix.time - *start_utc));
    std::vector<double> lat, lon;
    lat.reserve(records.size());
    lon.reserve(records.size());
    for (const hyp_data& r : records) {
        const LatLon p = gps_position_at(log.fixes, fix_ms, r.time);
        lat.push_back(p.lat);
        lon.push_back(p.lon);
    }
    lat_list = std::move(lat);
    lon_list = std::move(lon);
    gps_file_name = path;
    gps_merged = true;
    return log.skipped;
}
