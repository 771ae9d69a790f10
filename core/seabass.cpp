#include "seabass.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "atomic_file.h"
#include "clock_time.h"
#include "products.h"
#include "text.h"
#include "velmora_error.h"

namespace seabass {

namespace {

constexpr const char* kMissing = "-9999";
constexpr double kMissingValue = -9999.0;
constexpr int kDigits = 6; // significant digits of every number written

// Header keywords a user may give beside the required ones; any other metadata is left to the
// formats that take free attributes.
constexpr const char* kOptionalKeywords[] = {
    "instrument_manufacturer",
    "instrument_model",
    "calibration_date",
    "original_file_name",
    "station_alt_id",
    "associated_files",
    "associated_file_types",
    "cloud_percent",
    "wind_speed",
    "wave_height",
    "secchi_depth",
};

bool in_list(std::string_view key, const auto& list) {
    return std::any_of(std::begin(list), std::end(list), [&](const char* k) { return key == k; });
}

bool is_required(std::string_view key) {
    return in_list(key, kRequiredKeywords);
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& ch : out)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return out;
}

bool has_blank(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char ch) { return text::is_blank(ch); });
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && text::is_blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && text::is_blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A header value: no blanks at either end, every blank inside turned into '_'.
std::string header_value(std::string_view s) {
    std::string out(trim(s));
    for (char& ch : out)
        if (text::is_blank(ch))
            ch = '_';
    return out;
}

std::string file_name_of(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// ---------------------------------------------------------------------------------------------
// Dates and times.

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

std::string two(int v) {
    std::string s;
    s += static_cast<char>('0' + v / 10 % 10);
    s += static_cast<char>('0' + v % 10);
    return s;
}

// Whole UTC seconds since 1970 as "yyyymmdd" and "hh:mm:ss".
std::string date_text(std::int64_t sec) {
    int y = 0, m = 0, d = 0;
    clock_time::civil_from_days(floor_div(sec, 86400), y, m, d);
    std::string s = std::to_string(y);
    while (s.size() < 4)
        s.insert(s.begin(), '0');
    return s + two(m) + two(d);
}

std::string time_text(std::int64_t sec) {
    const std::int64_t tod = sec - floor_div(sec, 86400) * 86400;
    const int h = static_cast<int>(tod / 3600), mi = static_cast<int>(tod / 60 % 60),
              s = static_cast<int>(tod % 60);
    return two(h) + ':' + two(mi) + ':' + two(s);
}

bool all_digits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

int digits_value(std::string_view s) {
    int v = 0;
    for (const char ch : s)
        v = v * 10 + (ch - '0');
    return v;
}

// "yyyymmdd": days since 1970.
std::optional<std::int64_t> parse_date(std::string_view s) {
    if (s.size() != 8 || !all_digits(s))
        return std::nullopt;
    const int y = digits_value(s.substr(0, 4)), m = digits_value(s.substr(4, 2)),
              d = digits_value(s.substr(6, 2));
    if (!clock_time::valid_date(y, m, d))
        return std::nullopt;
    return clock_time::days_from_civil(y, m, d);
}

// "hh:mm:ss": seconds since midnight.
std::optional<std::int64_t> parse_time(std::string_view s) {
    if (s.size() != 8 || s[2] != ':' || s[5] != ':')
        return std::nullopt;
    const std::string_view h = s.substr(0, 2), m = s.substr(3, 2), sec = s.substr(6, 2);
    if (!all_digits(h) || !all_digits(m) || !all_digits(sec))
        return std::nullopt;
    const int hv = digits_value(h), mv = digits_value(m), sv = digits_value(sec);
    if (hv > 23 || mv > 59 || sv > 59)
        return std::nullopt;
    return hv * 3600 + mv * 60 + sv;
}

// A number as the archive writes one: decimal digits with an optional sign, point and exponent
// (no "nan", "inf" or hexadecimal).
std::optional<double> parse_number(std::string_view s) {
    if (s.empty())
        return std::nullopt;
    for (const char ch : s)
        if (!((ch >= '0' && ch <= '9') || ch == '.' || ch == '-' || ch == '+' || ch == 'e' ||
              ch == 'E'))
            return std::nullopt;
    if (s.front() == '+')
        s.remove_prefix(1);
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// What other programs write for a missing value, instead of the file's missing value.
bool not_a_value(std::string_view v) {
    if (v.size() > 3 || (v.front() != 'n' && v.front() != 'N'))
        return false;
    const std::string low = lower(v);
    return low == "na" || low == "nan" || low == "n/a";
}

// A value with its unit in brackets at the end ("45.2[DEG]"): the number, when the unit is there.
std::optional<double> number_with_unit(std::string_view s, std::string_view unit) {
    if (s.size() <= unit.size() || lower(s.substr(s.size() - unit.size())) != lower(unit))
        return std::nullopt;
    return parse_number(s.substr(0, s.size() - unit.size()));
}

// ---------------------------------------------------------------------------------------------
// The fields Velmora writes: names, kinds and units.

enum class Kind { Date, Time, Number, Count };

struct FieldType {
    Kind kind = Kind::Number;
    std::string unit;
};

// A wavelength suffix: digits with an optional one-or-more-digit fraction.
bool wavelength_suffix(std::string_view s) {
    const std::size_t dot = s.find('.');
    if (dot == std::string_view::npos)
        return all_digits(s);
    return all_digits(s.substr(0, dot)) && all_digits(s.substr(dot + 1));
}

std::optional<FieldType> field_type(std::string_view name) {
    struct Plain {
        const char* name;
        Kind kind;
        const char* unit;
    };
    static const Plain plain[] = {
        {"date", Kind::Date, "yyyymmdd"}, {"time", Kind::Time, "hh:mm:ss"},
        {"lat", Kind::Number, "degrees"}, {"lon", Kind::Number, "degrees"},
        {"depth", Kind::Number, "m"},     {"wt", Kind::Number, "degreesC"},
        {"sal", Kind::Number, "psu"},     {"bincount", Kind::Count, "none"},
    };
    for (const Plain& p : plain)
        if (name == p.name)
            return FieldType{p.kind, p.unit};
    if (name.size() > 3 && (name.substr(0, 3) == "agp" || name.substr(0, 3) == "cgp")) {
        std::string_view wl = name.substr(3);
        if (wl.size() > 3 && wl.substr(wl.size() - 3) == "_sd")
            wl.remove_suffix(3);
        if (wavelength_suffix(wl))
            return FieldType{Kind::Number, "1/m"};
    }
    return std::nullopt;
}

// The values of a line ("space": runs of blanks separate them).
void split_into(std::string_view s, char delimiter, std::vector<std::string_view>& out) {
    out.clear();
    if (delimiter == ' ') {
        text::FieldCursor cur(s);
        std::string_view f;
        while (cur.next(f))
            out.push_back(f);
        return;
    }
    while (true) {
        const std::size_t at = s.find(delimiter);
        out.push_back(trim(s.substr(0, at)));
        if (at == std::string_view::npos)
            return;
        s.remove_prefix(at + 1);
    }
}

std::vector<std::string_view> split(std::string_view s, char delimiter) {
    std::vector<std::string_view> out;
    split_into(s, delimiter, out);
    return out;
}

std::string number_text(double v) {
    return text::format_g(v, kDigits);
}

std::string date_time_text(std::int64_t sec) {
    return date_text(sec) + ' ' + time_text(sec);
}

bool same_number(double a, double b) {
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(a));
}

// ---------------------------------------------------------------------------------------------
// The checker, fed one line at a time.

constexpr std::size_t kMaxDataFindings = 1000; // a damaged file is not listed line by line

class Checker {
  public:
    explicit Checker(std::string_view file_name) : file_name_(file_name) {}

    void line(std::string_view s) {
        ++n_;
        s = text::chomp(s);
        if (state_ == State::Start) {
            state_ = State::Header;
            if (lower(trim(s)) == "/begin_header")
                return;
            error(n_, "the file must begin with /begin_header");
        }
        if (state_ == State::Header)
            header_line(s);
        else
            data_line(s);
    }

    std::vector<Finding> finish() {
        if (state_ != State::Data) {
            error(0, "no /end_header line");
        } else if (rows_ == 0) {
            error(0, "no data lines after /end_header");
        } else {
            if (data_findings_ > kMaxDataFindings)
                error(0, std::to_string(data_findings_ - kMaxDataFindings) +
                             " more data lines with errors not listed");
            compare_bounds();
        }
        std::stable_sort(
            findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
                return (a.line == 0 ? SIZE_MAX : a.line) < (b.line == 0 ? SIZE_MAX : b.line);
            });
        return std::move(findings_);
    }

  private:
    enum class State { Start, Header, Data };

    struct Keyword {
        std::size_t line = 0;
        std::string value;
    };

    struct Field {
        std::string name;
        std::optional<FieldType> type;
    };

    // The smallest or largest value of a data column and the line it is on.
    struct Extreme {
        double lo = std::numeric_limits<double>::infinity();
        double hi = -std::numeric_limits<double>::infinity();
        std::size_t lo_line = 0, hi_line = 0;
        bool any() const { return lo_line != 0; }
        void add(double v, std::size_t line) {
            if (v < lo) {
                lo = v;
                lo_line = line;
            }
            if (v > hi) {
                hi = v;
                hi_line = line;
            }
        }
    };

    void error(std::size_t line, std::string text) {
        findings_.push_back({line, true, std::move(text)});
    }
    void warning(std::size_t line, std::string text) {
        findings_.push_back({line, false, std::move(text)});
    }

    void header_line(std::string_view s) {
        if (s.empty() || text::has_no_field(s)) {
            error(n_, "empty line in the header");
            return;
        }
        if (s.front() == '!')
            return;
        const std::string low = lower(trim(s));
        if (low == "/end_header") {
            state_ = State::Data;
            check_header();
            return;
        }
        if (low == "/begin_header") {
            error(n_, "a second /begin_header");
            return;
        }
        if (s.front() != '/') {
            error(n_, "a header line must be /keyword=value or a ! comment");
            return;
        }
        const std::size_t eq = s.find('=');
        if (eq == std::string_view::npos) {
            error(n_, "header line without '=': " + std::string(s));
            return;
        }
        const std::string key = lower(s.substr(1, eq - 1));
        const std::string_view value = s.substr(eq + 1);
        if (key.empty() || has_blank(key)) {
            error(n_, "header keyword '" + std::string(s.substr(1, eq - 1)) + "' is not a word");
            return;
        }
        if (has_blank(value))
            error(n_, "blank in the value of /" + key + " (write '_' instead)");
        if (const auto it = keywords_.find(key); it != keywords_.end()) {
            error(n_, "/" + key + " given a second time (first on line " +
                          std::to_string(it->second.line) + ")");
            return;
        }
        if (!is_required(key) && !in_list(key, kOptionalKeywords))
            warning(n_, "unknown header keyword /" + key);
        keywords_[key] = Keyword{n_, std::string(trim(value))};
    }

    const Keyword* keyword(const char* key) const {
        const auto it = keywords_.find(key);
        return it == keywords_.end() || it->second.value.empty() ? nullptr : &it->second;
    }

    // The header as a whole, once /end_header is reached.
    void check_header() {
        for (const char* key : kRequiredKeywords) {
            const auto it = keywords_.find(key);
            if (it == keywords_.end())
                error(0, std::string("missing header keyword /") + key);
            else if (it->second.value.empty())
                error(it->second.line, std::string("empty value of /") + key);
        }
        if (const Keyword* k = keyword("missing")) {
            if (const auto v = parse_number(k->value))
                missing_ = *v;
            else
                error(k->line, "/missing must be a number, not '" + k->value + "'");
        }
        if (const Keyword* k = keyword("delimiter")) {
            const std::string d = lower(k->value);
            if (d == "comma")
                delimiter_ = ',';
            else if (d == "space")
                delimiter_ = ' ';
            else if (d == "tab")
                delimiter_ = '\t';
            else
                error(k->line, "/delimiter must be comma, space or tab, not '" + k->value + "'");
        }
        check_fields();
        for (const char* key : {"start_date", "end_date"})
            if (const Keyword* k = keyword(key); k && !parse_date(k->value))
                error(k->line,
                      std::string("/") + key + " must be a date yyyymmdd, not '" + k->value + "'");
        for (const char* key : {"start_time", "end_time"})
            if (const Keyword* k = keyword(key); k && !header_time(k->value))
                error(k->line, std::string("/") + key + " must be a time hh:mm:ss[GMT], not '" +
                                   k->value + "'");
        struct Bound {
            const char* key;
            double limit;
        };
        for (const Bound b : {Bound{"north_latitude", 90}, Bound{"south_latitude", 90},
                              Bound{"east_longitude", 180}, Bound{"west_longitude", 180}}) {
            const Keyword* k = keyword(b.key);
            if (!k)
                continue;
            const std::optional<double> v = number_with_unit(k->value, "[DEG]");
            if (!v || std::fabs(*v) > b.limit)
                error(k->line, std::string("/") + b.key + " must be decimal degrees from " +
                                   number_text(-b.limit) + " to " + number_text(b.limit) +
                                   " followed by [DEG], not '" + k->value + "'");
        }
        const auto bound = [&](const char* key) {
            const Keyword* k = keyword(key);
            return k ? number_with_unit(k->value, "[DEG]") : std::nullopt;
        };
        if (const auto north = bound("north_latitude"), south = bound("south_latitude");
            north && south && *north < *south)
            error(keyword("north_latitude")->line, "/north_latitude is south of /south_latitude");
        for (const char* key : {"water_depth", "measurement_depth"}) {
            const Keyword* k = keyword(key);
            if (k && lower(k->value) != "na" && !parse_number(k->value) &&
                !number_with_unit(k->value, "[M]"))
                error(k->line, std::string("/") + key + " must be a depth in m or NA, not '" +
                                   k->value + "'");
        }
        if (const Keyword* k = keyword("data_file_name");
            k && !file_name_.empty() && k->value != file_name_)
            warning(k->line, "/data_file_name is '" + k->value + "', the file is named '" +
                                 std::string(file_name_) + "'");
    }

    static std::optional<std::int64_t> header_time(std::string_view s) {
        if (s.size() < 5 || lower(s.substr(s.size() - 5)) != "[gmt]")
            return std::nullopt;
        return parse_time(s.substr(0, s.size() - 5));
    }

    void check_fields() {
        const Keyword* f = keyword("fields");
        if (!f)
            return;
        std::map<std::string, std::size_t> seen;
        for (const std::string_view name : split(f->value, ',')) {
            Field field{lower(name), field_type(lower(name))};
            if (field.name.empty())
                error(f->line, "an empty field name in /fields");
            else if (!field.type)
                error(f->line, "unknown field name '" + std::string(name) + "'");
            if (!field.name.empty() && !seen.emplace(field.name, fields_.size()).second)
                error(f->line, "field '" + std::string(name) + "' named twice");
            if (field.name == "lat")
                lat_col_ = fields_.size();
            else if (field.name == "lon")
                lon_col_ = fields_.size();
            fields_.push_back(std::move(field));
        }
        const Keyword* u = keyword("units");
        if (!u)
            return;
        const std::vector<std::string_view> units = split(u->value, ',');
        if (units.size() != fields_.size()) {
            error(u->line, "/units names " + std::to_string(units.size()) + " entries, /fields " +
                               std::to_string(fields_.size()));
            return;
        }
        for (std::size_t i = 0; i < units.size(); ++i)
            if (fields_[i].type && lower(units[i]) != lower(fields_[i].type->unit))
                warning(u->line, "unit of " + fields_[i].name + " is '" + std::string(units[i]) +
                                     "', expected " + fields_[i].type->unit);
    }

    void data_error(std::string text) {
        if (++data_findings_ <= kMaxDataFindings)
            error(n_, std::move(text));
    }

    void data_line(std::string_view s) {
        if (text::has_no_field(s)) {
            data_error("empty data line");
            return;
        }
        ++rows_;
        if (fields_.empty())
            return;
        split_into(s, delimiter_, values_);
        const std::vector<std::string_view>& values = values_;
        if (values.size() != fields_.size()) {
            data_error(std::to_string(values.size()) + " values, /fields names " +
                       std::to_string(fields_.size()));
            return;
        }
        std::optional<std::int64_t> day, second;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const Field& f = fields_[i];
            if (!f.type)
                continue;
            const std::string_view v = values[i];
            if (v.empty()) {
                data_error("empty value of " + f.name + " (a missing value is " +
                           number_text(missing_) + ")");
                return;
            }
            if (not_a_value(v)) {
                data_error("'" + std::string(v) + "' in the data for " + f.name +
                           " (a missing value is " + number_text(missing_) + ")");
                return;
            }
            if (f.type->kind == Kind::Date || f.type->kind == Kind::Time) {
                const auto t = f.type->kind == Kind::Date ? parse_date(v) : parse_time(v);
                if (!t) {
                    data_error("'" + std::string(v) + "' is not a valid " +
                               (f.type->kind == Kind::Date ? "date yyyymmdd" : "time hh:mm:ss"));
                    return;
                }
                (f.type->kind == Kind::Date ? day : second) = t;
                continue;
            }
            const std::optional<double> x = parse_number(v);
            if (!x) {
                data_error("'" + std::string(v) + "' is not a number (" + f.name + ")");
                return;
            }
            if (*x == missing_)
                continue;
            if (f.type->kind == Kind::Count && (*x < 0 || *x != std::floor(*x))) {
                data_error("'" + std::string(v) + "' is not a count (" + f.name + ")");
                return;
            }
            if (i == lat_col_)
                lat_.add(*x, n_);
            else if (i == lon_col_)
                lon_.add(*x, n_);
        }
        if (day && second)
            time_.add(static_cast<double>(*day * 86400 + *second), n_);
    }

    // The header's date, time and position bounds against the data's extremes.
    void compare_bounds() {
        const auto header_seconds = [&](const char* date, const char* time) {
            const Keyword* d = keyword(date);
            const Keyword* t = keyword(time);
            std::optional<std::int64_t> days = d ? parse_date(d->value) : std::nullopt;
            std::optional<std::int64_t> secs = t ? header_time(t->value) : std::nullopt;
            return days && secs ? std::optional<std::int64_t>(*days * 86400 + *secs) : std::nullopt;
        };
        if (time_.any()) {
            const struct {
                const char *date, *time, *what;
                double data;
                std::size_t line;
            } ends[] = {{"start_date", "start_time", "begin", time_.lo, time_.lo_line},
                        {"end_date", "end_time", "end", time_.hi, time_.hi_line}};
            for (const auto& e : ends) {
                const std::optional<std::int64_t> h = header_seconds(e.date, e.time);
                const auto data = static_cast<std::int64_t>(e.data);
                if (h && *h != data)
                    error(keyword(e.date)->line, std::string("/") + e.date + " and /" + e.time +
                                                     " give " + date_time_text(*h) + ", the data " +
                                                     e.what + " at " + date_time_text(data) +
                                                     " (line " + std::to_string(e.line) + ")");
            }
        }
        const struct {
            const char* key;
            const Extreme& x;
            bool high;
            const char* what;
        } bounds[] = {{"north_latitude", lat_, true, "largest lat"},
                      {"south_latitude", lat_, false, "smallest lat"},
                      {"east_longitude", lon_, true, "largest lon"},
                      {"west_longitude", lon_, false, "smallest lon"}};
        for (const auto& b : bounds) {
            const Keyword* k = keyword(b.key);
            if (!k || !b.x.any())
                continue;
            const std::optional<double> v = number_with_unit(k->value, "[DEG]");
            const double data = b.high ? b.x.hi : b.x.lo;
            if (v && !same_number(*v, data))
                error(k->line, std::string("/") + b.key + " is " + number_text(*v) + ", the " +
                                   b.what + " of the data " + number_text(data) + " (line " +
                                   std::to_string(b.high ? b.x.hi_line : b.x.lo_line) + ")");
        }
    }

    std::string_view file_name_;
    State state_ = State::Start;
    std::size_t n_ = 0;
    std::map<std::string, Keyword> keywords_;
    std::vector<Field> fields_;
    static constexpr std::size_t kNone = SIZE_MAX;
    std::size_t lat_col_ = kNone, lon_col_ = kNone;
    double missing_ = kMissingValue;
    char delimiter_ = ',';
    std::size_t rows_ = 0;
    std::size_t data_findings_ = 0;
    Extreme time_, lat_, lon_;
    std::vector<std::string_view> values_; // of the data line being read
    std::vector<Finding> findings_;
};

std::vector<Finding> check_path(const std::string& path, std::string_view file_name) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw VelmoraError("Unable to open file.");
    Checker c(file_name);
    for (std::string line; std::getline(in, line);)
        c.line(line);
    return c.finish();
}

// ---------------------------------------------------------------------------------------------
// The writer.

struct Extent {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    void add(double v) {
        if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    bool any() const { return lo <= hi; }
};

// Whole UTC seconds of each row.
std::vector<std::int64_t> row_seconds(const ProductTable& t) {
    std::vector<std::int64_t> sec(t.rows());
    for (std::size_t r = 0; r < t.rows(); ++r) {
        if (!std::isfinite(t.time[r]))
            throw VelmoraError("A record without a time cannot be written to a SeaBASS file.");
        const auto ms = *t.start_utc + static_cast<std::int64_t>(std::floor(t.time[r]));
        sec[r] = floor_div(ms, 1000);
    }
    return sec;
}

bool has_depth(const ProductTable& t) {
    return t.bin_kind == BinKind::Depth || !t.pressure.empty();
}

const std::vector<double>& depth_column(const ProductTable& t) {
    return t.bin_kind == BinKind::Depth ? t.depth : t.pressure;
}

// The user's value of a keyword (keywords are case-insensitive: "Cruise" is "cruise").
std::string metadata_value(const ProductTable& t, const std::string& key) {
    if (const auto it = t.info.metadata.find(key); it != t.info.metadata.end())
        return header_value(it->second);
    for (const auto& [k, v] : t.info.metadata)
        if (lower(k) == key)
            return header_value(v);
    return {};
}

// A bound given in the metadata, with its unit.
std::string metadata_bound(const ProductTable& t, const std::string& key) {
    std::string v = metadata_value(t, key);
    if (!v.empty() && !number_with_unit(v, "[DEG]"))
        v += "[DEG]";
    return v;
}

using Header = std::vector<std::pair<std::string, std::string>>;

// The required keywords with their values (empty: none known).  Fields and units are left to the
// caller.
Header header_of(const ProductTable& t, const std::string& file_name) {
    Header h;
    for (const char* key : kRequiredKeywords)
        h.emplace_back(key, in_list(key, kWriterKeywords) ? std::string() : metadata_value(t, key));
    const auto set = [&](const char* key, std::string value) {
        for (auto& [k, v] : h)
            if (k == key)
                v = std::move(value);
    };
    set("data_file_name", header_value(file_name));
    // The device file, or the user's list when the data set does not know its device file's
    // name (a data file holds the device file's lines, not its name); then the water file.
    std::string cal = t.info.device_file.empty() ? metadata_value(t, "calibration_files")
                                                 : header_value(file_name_of(t.info.device_file));
    if (!cal.empty() && !t.info.water_file.empty()) {
        const std::string water = header_value(file_name_of(t.info.water_file));
        if (("," + cal + ",").find("," + water + ",") == std::string::npos)
            cal += "," + water;
    }
    set("calibration_files", cal);
    if (metadata_value(t, "data_type").empty())
        set("data_type", has_depth(t) ? "cast" : "flow_thru");
    if (t.start_utc && t.rows() > 0) {
        const std::vector<std::int64_t> sec = row_seconds(t);
        const auto [lo, hi] = std::minmax_element(sec.begin(), sec.end());
        set("start_date", date_text(*lo));
        set("end_date", date_text(*hi));
        set("start_time", time_text(*lo) + "[GMT]");
        set("end_time", time_text(*hi) + "[GMT]");
    }
    Extent lat, lon;
    for (const double v : t.lat)
        lat.add(v);
    for (const double v : t.lon)
        lon.add(v);
    const auto deg = [](double v) { return number_text(v) + "[DEG]"; };
    set("north_latitude", lat.any() ? deg(lat.hi) : metadata_bound(t, "north_latitude"));
    set("south_latitude", lat.any() ? deg(lat.lo) : metadata_bound(t, "south_latitude"));
    set("east_longitude", lon.any() ? deg(lon.hi) : metadata_bound(t, "east_longitude"));
    set("west_longitude", lon.any() ? deg(lon.lo) : metadata_bound(t, "west_longitude"));
    // The bottom depth is not in the data, and a measurement depth only stands for data without a
    // depth field: both are NA (unknown) unless given.
    for (const char* key : {"water_depth", "measurement_depth"})
        if (metadata_value(t, key).empty())
            set(key, "NA");
    set("missing", kMissing);
    set("delimiter", "comma");
    return h;
}

// One column of the data lines: its field name and unit, and how a row's value is found.
struct Column {
    std::string field, unit;
    const std::vector<double>* values = nullptr; // one per row, or rows × channels with `channels`
    std::size_t channels = 0, channel = 0;
    const std::vector<std::uint8_t>* flags = nullptr; // per value, as `values`
    const std::vector<int>* counts = nullptr;         // bincount

    void put(std::string& line, std::size_t r) const {
        if (counts) {
            line += r < counts->size() ? std::to_string((*counts)[r]) : kMissing;
            return;
        }
        const std::size_t i = channels ? r * channels + channel : r;
        const double v = i < values->size() ? (*values)[i] : NAN;
        bool bad = !std::isfinite(v);
        if (flags && i < flags->size())
            bad = bad || (*flags)[i] == qc_flag::kFail || (*flags)[i] == qc_flag::kMissing;
        if (bad)
            line += kMissing;
        else
            text::append_g(line, v, kDigits);
    }
};

std::vector<Column> columns_of(const ProductTable& t) {
    std::vector<Column> cols;
    if (t.has_gps()) {
        cols.push_back({"lat", "degrees", &t.lat});
        cols.push_back({"lon", "degrees", &t.lon});
    }
    if (has_depth(t))
        cols.push_back({"depth", "m", &depth_column(t)});
    if (t.has_ctd()) {
        cols.push_back({"wt", "degreesC", &t.temperature});
        cols.push_back({"sal", "psu", &t.salinity});
    }
    const auto spectra = [&](const char* prefix, const std::vector<double>& wl,
                             const std::vector<double>& values,
                             const std::vector<std::uint8_t>& flags, const char* suffix) {
        for (std::size_t i = 0; i < wl.size(); ++i)
            cols.push_back({prefix + wavelength_name(wl[i]) + suffix, "1/m", &values, wl.size(), i,
                            flags.empty() ? nullptr : &flags});
    };
    spectra("agp", t.a_wavelengths, t.a, t.a_flags, "");
    spectra("cgp", t.c_wavelengths, t.c, t.c_flags, "");
    if (t.binned()) {
        spectra("agp", t.a_wavelengths, t.a_sd, t.a_flags, "_sd");
        spectra("cgp", t.c_wavelengths, t.c_sd, t.c_flags, "_sd");
        Column n{"bincount", "none"};
        n.counts = &t.n;
        cols.push_back(n);
    }
    return cols;
}

// Everything said about the processing, in the words of the corrected file's header.
std::vector<std::string> comments_of(const ProductTable& t) {
    std::vector<std::string> c;
    std::string source = "Written by Velmora version 2.0";
    if (!t.info.input_file.empty())
        source += " from " + file_name_of(t.info.input_file);
    if (!t.info.instrument.empty())
        source +=
            " (" + t.info.instrument + " serial " + std::to_string(t.info.serial_number) + ")";
    c.push_back(source);
    c.push_back("Dates and times are UTC.");
    bool coefficients = false;
    for (const std::string& s : t.info.corrections) {
        const std::string_view sentence = trim(s);
        if (sentence.empty())
            continue;
        c.emplace_back(sentence);
        coefficients = coefficients || sentence.starts_with("Temperature correction applied") ||
                       sentence.starts_with("Salinity correction applied") ||
                       sentence.starts_with("Residual temperature");
    }
    if (coefficients)
        c.push_back("Temperature and salinity coefficients of pure water: Sullivan et al. 2006.");
    if (!trim(t.info.processing).empty())
        c.push_back("Processing: " + std::string(trim(t.info.processing)));
    if (t.has_qc())
        c.push_back("Values flagged 4 (fail) or 9 (missing) by QC are written as -9999.");
    if (t.bin_kind == BinKind::Depth)
        c.push_back("depth: bin centre, CTD pressure in dbar taken as depth in m.");
    else if (has_depth(t))
        c.push_back("depth: CTD pressure in dbar taken as depth in m.");
    if (t.binned())
        c.push_back("bincount: records in the bin; _sd: standard deviation in the bin.");
    return c;
}

} // namespace

std::vector<Finding> check_text(std::string_view text, std::string_view file_name) {
    Checker c(file_name);
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        c.line(text.substr(0, nl));
        if (nl == std::string_view::npos)
            break;
        text.remove_prefix(nl + 1);
    }
    return c.finish();
}

std::vector<Finding> check_file(const std::string& path) {
    return check_path(path, file_name_of(path));
}

std::string finding_line(const std::string& path, const Finding& f) {
    std::string s = path;
    if (f.line > 0)
        s += ':' + std::to_string(f.line);
    s += f.error ? ": error: " : ": warning: ";
    return s + f.text;
}

std::string wavelength_name(double nm) {
    std::string s = text::format_fixed(nm, 1);
    if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0)
        s.resize(s.size() - 2);
    return s;
}

std::vector<std::pair<std::string, std::string>> header_values(const ProductTable& t) {
    Header h = header_of(t, "-");
    std::erase_if(h, [](const auto& kv) { return kv.first == "fields" || kv.first == "units"; });
    return h;
}

std::vector<std::string> missing_keywords(const ProductTable& t) {
    std::vector<std::string> missing;
    for (const auto& [key, value] : header_of(t, "-"))
        if (value.empty() && !in_list(key, kWriterKeywords))
            missing.push_back(key);
    return missing;
}

void refuse_unwritable(const ProductTable& t) {
    if (!t.start_utc)
        throw VelmoraError("SeaBASS files need the start time of the data (--start).");
    if (const std::vector<std::string> missing = missing_keywords(t); !missing.empty()) {
        std::string list;
        for (const std::string& k : missing)
            list += (list.empty() ? "" : ", ") + k;
        throw VelmoraError("SeaBASS header needs: " + list + " (give them with --meta KEY=VALUE).");
    }
    if (t.rows() == 0)
        throw VelmoraError("SeaBASS files need at least one record.");
}

void write_file(const std::string& path, const ProductTable& t) {
    refuse_unwritable(t);
    const std::string name = file_name_of(path);
    const std::vector<Column> cols = columns_of(t);
    std::string fields = "date,time", units = "yyyymmdd,hh:mm:ss";
    for (const Column& c : cols) {
        fields += ',' + c.field;
        units += ',' + c.unit;
    }
    std::string head = "/begin_header\n";
    for (const auto& [key, value] : header_of(t, name)) {
        if (key == "missing") {
            for (const char* opt : kOptionalKeywords)
                if (const std::string v = metadata_value(t, opt); !v.empty())
                    head += std::string("/") + opt + '=' + v + '\n';
            for (const std::string& c : comments_of(t))
                head += "! " + c + '\n';
        }
        const std::string& v = key == "fields" ? fields : key == "units" ? units : value;
        head += '/' + key + '=' + v + '\n';
    }
    head += "/end_header\n";

    AtomicFile file(path,
                    "Unable to open file for saving.  Is this file opened in another program?");
    std::ostream& out = file.stream();
    out << head;
    const std::vector<std::int64_t> sec = row_seconds(t);
    std::string line;
    for (std::size_t r = 0; r < t.rows(); ++r) {
        line = date_text(sec[r]);
        line += ',';
        line += time_text(sec[r]);
        for (const Column& c : cols) {
            line += ',';
            c.put(line, r);
        }
        line += '\n';
        out << line;
    }
    out.flush();
    if (out) {
        std::string failed;
        std::size_t errors = 0;
        for (const Finding& f : check_path(file.temp_path(), name))
            if (f.error && ++errors <= 20)
                failed += '\n' + finding_line(path, f);
        if (errors > 20)
            failed += "\n(" + std::to_string(errors - 20) + " more errors)";
        if (errors > 0)
            throw VelmoraError("The SeaBASS file fails its check and was not kept:" + failed);
    }
    file.commit();
}

} // namespace seabass
