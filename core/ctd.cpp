// CTD logs: reading the chosen columns of a whitespace-separated text file, and giving every
// record the sample nearest to it in time.
#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

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

} // namespace

int CTD_Data::data_columns(const std::string& path) {
    file_checks::refuse_folder(path);
    fileio::LineReader in(path);
    if (!in.is_open())
        throw VelmoraError("Unable to open file.");
    int columns = 0;
    each_data_line(in, [&](std::string_view line) {
        text::FieldCursor cur(line);
        std::string_view f;
        while (cur.next(f))
            ++columns;
        return columns == 0;
    });
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

std::string ctd_gap_report(std::size_t records) {
    return std::to_string(records) + " records have no CTD sample within 60 s; the nearest " +
           "sample was used.";
}

std::size_t HYP_Data::merge_ctd() {
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
        if (std::abs(rec.time - s[chosen].time) > kCtdMergeReportGap)
            ++far;
        ctd_struct entry = s[chosen];
        entry.time = rec.time;
        merged.push_back(entry);
    }
    ctd_list.samples = std::move(merged);
    ctd_merged = true;
    return far;
}
