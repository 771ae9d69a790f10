// CTD logs: reading the chosen columns of a whitespace-separated text file, and giving every
// record the sample nearest to it in time.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

#include "clock_time.h"
#include "file_checks.h"
#include "file_lines.h"
#include "hyp_data.h"
#include "text.h"

namespace {

bool has_letter(std::string_view line) {
    for (const char ch : line) {
        if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'))
            return true;
    }
    return false;
}

// Calls `on_line` with each data line of a CTD log, in order, until it returns false.  A line
// holding a NUL byte is left out; lines with a letter before the first line without one are
// column names.
template <class OnLine> void each_data_line(fileio::LineReader& in, OnLine on_line) {
    bool header = true;
    std::string_view line;
    while (in.next(line)) {
        if (text::has_nul(line))
            continue;
        if (header) {
            if (has_letter(line))
                continue;
            header = false;
        }
        if (!on_line(line))
            return;
    }
}

// A field that is a number as a whole (a finite one).
std::optional<double> whole_number(std::string_view f) {
    std::size_t used = 0;
    const double v = text::parse_double(f, &used);
    if (used == 0 || used != f.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// The time of a line in ms of the records' time base, from its time field `f` and the field
// after it, `next` (date-time only); nothing when they do not read in the format.  `start` is
// the data set's start time (0 when only checking whether the time reads).
std::optional<double> line_time(CtdTimeFormat format, std::string_view f, std::string_view next,
                                std::int64_t start) {
    switch (format) {
    case CtdTimeFormat::Ms:
        return text::parse_double(f);
    case CtdTimeFormat::Seconds:
        if (const std::optional<double> s = whole_number(f))
            return *s * 1000.0;
        return std::nullopt;
    case CtdTimeFormat::Epoch:
        // Seconds against seconds first: 1.7e9 s in ms would lose the fraction's last digits.
        if (const std::optional<double> s = whole_number(f))
            return (*s - static_cast<double>(start) / 1000.0) * 1000.0;
        return std::nullopt;
    case CtdTimeFormat::Iso:
        if (const std::optional<clock_time::UtcMs> t = clock_time::parse_iso(f))
            return static_cast<double>(*t - start);
        return std::nullopt;
    case CtdTimeFormat::DateTime: {
        const std::optional<clock_time::UtcMs> day = clock_time::parse_date(f);
        if (!day)
            return std::nullopt;
        if (const std::optional<std::int64_t> tod = clock_time::parse_time_of_day(next))
            return static_cast<double>(*day + *tod - start);
        return std::nullopt;
    }
    }
    return std::nullopt;
}

// Calls `on_line(line, time)` with each data line of a CTD log whose time reads in `format`
// (any format but ms), in order, until it returns false; returns how many lines after the first
// data line had a time that did not read.  Lines with a NUL byte or without a field are left
// out, as with ms.
template <class OnLine>
std::size_t each_timed_line(fileio::LineReader& in, CtdTimeFormat format, int time_col,
                            std::int64_t start, OnLine on_line) {
    bool header = true;
    std::size_t skipped = 0;
    std::string_view line;
    while (in.next(line)) {
        if (text::has_nul(line))
            continue;
        text::FieldCursor cur(line);
        std::string_view f, field, next;
        int k = 0;
        while (cur.next(f)) {
            ++k;
            if (k == time_col)
                field = f;
            else if (k == time_col + 1) {
                next = f;
                break;
            }
        }
        if (k == 0)
            continue;
        const std::optional<double> t =
            k >= time_col ? line_time(format, field, next, start) : std::nullopt;
        if (!t) {
            if (!header)
                ++skipped;
            continue;
        }
        header = false;
        if (!on_line(line, *t))
            break;
    }
    return skipped;
}

} // namespace

bool is_clock_time(CtdTimeFormat f) {
    return f == CtdTimeFormat::Epoch || f == CtdTimeFormat::Iso || f == CtdTimeFormat::DateTime;
}

int CTD_Data::data_columns(const std::string& path, CtdTimeFormat format, int time_col) {
    file_checks::refuse_folder(path);
    fileio::LineReader in(path);
    if (!in.is_open())
        throw VelmoraError("Unable to open file.");
    int columns = 0;
    auto count = [&](std::string_view line) {
        text::FieldCursor cur(line);
        std::string_view f;
        while (cur.next(f))
            ++columns;
        return columns == 0;
    };
    if (format == CtdTimeFormat::Ms)
        each_data_line(in, count);
    else
        each_timed_line(in, format, time_col, 0,
                        [&](std::string_view line, double) { return count(line); });
    return columns;
}

void CTD_Data::read_ctd_file(const std::string& path, int time_col, int temp_col, int saln_col,
                             int pres_col) {
    file_checks::refuse_folder(path);
    fileio::LineReader in(path);
    if (!in.is_open())
        throw VelmoraError("Unable to open file.");
    std::vector<ctd_struct> read;
    try {
        ctd_struct current; // a column beyond a line's last field keeps the previous line's value
        each_data_line(in, [&](std::string_view line) {
            text::FieldCursor cur(line);
            std::string_view f;
            int k = 0;
            while (cur.next(f)) {
                ++k;
                if (k != time_col && k != temp_col && k != saln_col && k != pres_col)
                    continue;
                const double v = text::parse_double(f);
                if (k == time_col)
                    current.time = v;
                if (k == temp_col)
                    current.temperature = v;
                if (k == saln_col)
                    current.salinity = v;
                if (k == pres_col)
                    current.pressure = v;
            }
            if (k > 0)
                read.push_back(current);
            return true;
        });
    } catch (const std::bad_alloc&) {
        throw VelmoraError("Internal error--Error pushing back vector.  Perhaps out of memory?");
    }
    if (in.failed())
        throw VelmoraError("Unable to read file.\n");
    samples.insert(samples.end(), read.begin(), read.end());
    source_file = path;
}

std::size_t CTD_Data::read_ctd_file(const std::string& path, int time_col, int temp_col,
                                    int saln_col, int pres_col, const CtdTimeBase& time) {
    const double lag_ms = time.lag_s * 1000.0;
    if (time.format == CtdTimeFormat::Ms) {
        const std::size_t first = samples.size();
        read_ctd_file(path, time_col, temp_col, saln_col, pres_col);
        if (lag_ms != 0.0)
            for (std::size_t i = first; i < samples.size(); ++i)
                samples[i].time += lag_ms;
        return 0;
    }
    if (is_clock_time(time.format) && !time.start_utc)
        throw VelmoraError(kCtdNeedsStartTime);
    file_checks::refuse_folder(path);
    fileio::LineReader in(path);
    if (!in.is_open())
        throw VelmoraError("Unable to open file.");
    std::vector<ctd_struct> read;
    std::size_t skipped = 0;
    try {
        ctd_struct current; // a column beyond a line's last field keeps the previous line's value
        skipped = each_timed_line(in, time.format, time_col, time.start_utc.value_or(0),
                                  [&](std::string_view line, double t) {
                                      text::FieldCursor cur(line);
                                      std::string_view f;
                                      int k = 0;
                                      while (cur.next(f)) {
                                          ++k;
                                          if (k == temp_col)
                                              current.temperature = text::parse_double(f);
                                          if (k == saln_col)
                                              current.salinity = text::parse_double(f);
                                          if (k == pres_col)
                                              current.pressure = text::parse_double(f);
                                      }
                                      current.time = t + lag_ms;
                                      read.push_back(current);
                                      return true;
                                  });
    } catch (const std::bad_alloc&) {
        throw VelmoraError("Internal error--Error pushing back vector.  Perhaps out of memory?");
    }
    if (in.failed())
        throw VelmoraError("Unable to read file.\n");
    samples.insert(samples.end(), read.begin(), read.end());
    source_file = path;
    return skipped;
}

std::string ctd_skipped_report(std::size_t lines) {
    return "Skipped " + std::to_string(lines) + " CTD lines whose time could not be read.";
}

std::optional<double> ctd_max_gap_s(CtdTimeFormat format, std::optional<double> given) {
    if (given)
        return given;
    if (is_clock_time(format))
        return 60.0;
    return std::nullopt;
}

std::string ctd_nan_report(std::size_t records, double gap_s) {
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, gap_s).ptr; // shortest form
    return std::to_string(records) + " records have no CTD sample within " + std::string(buf, end) +
           " s.";
}

std::string ctd_gap_report(std::size_t records) {
    return std::to_string(records) + " records have no CTD sample within 60 s; the nearest " +
           "sample was used.";
}

std::size_t HYP_Data::merge_ctd(std::optional<double> max_gap_ms) {
    if (ctd_file.samples.empty())
        throw VelmoraError("No CTD data to merge.");
    if (ctd_list.samples.size() != records.size())
        throw VelmoraError("CTD data do not match the records.");

    // The forward scan needs the samples in time order; a log that is not gets a sorted copy
    // (stable, so samples of equal time keep their file order).
    const std::vector<ctd_struct>* samples = &ctd_file.samples;
    std::vector<ctd_struct> sorted;
    auto by_time = [](const ctd_struct& x, const ctd_struct& y) { return x.time < y.time; };
    if (!std::is_sorted(samples->begin(), samples->end(), by_time)) {
        sorted = *samples;
        std::stable_sort(sorted.begin(), sorted.end(), by_time);
        samples = &sorted;
    }
    const std::vector<ctd_struct>& s = *samples;

    const double limit = max_gap_ms.value_or(kCtdMergeReportGap);
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    std::vector<ctd_struct> merged;
    merged.reserve(records.size());
    std::size_t chosen = 0;
    std::size_t far = 0;
    for (const hyp_data& rec : records) {
        double best = rec.time - s[chosen].time;
        for (std::size_t i = chosen; i < s.size(); ++i) {
            const double d = rec.time - s[i].time;
            if (std::abs(d) < std::abs(best)) {
                best = d;
                chosen = i;
            } else if (best > d) {
                break; // the samples have passed the record's time
            }
        }
        ctd_struct entry = s[chosen];
        if (std::abs(rec.time - s[chosen].time) > limit) {
            ++far;
            if (max_gap_ms) // no sample near enough: nothing to take
                entry.temperature = entry.salinity = entry.pressure = kNaN;
        }
        entry.time = rec.time;
        merged.push_back(entry);
    }
    ctd_list.samples = std::move(merged);
    ctd_merged = true;
    return far;
}
