// Instrument data files out: the record line writer shared by every file the system writes, the
// data file header, whole-file saving and continuous saving during acquisition.
#include <algorithm>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "clock_time.h"
#include "devfile_layout.h"
#include "fast_format.h"
#include "hyp_data.h"
#include "parallel.h"
#include "text.h"

namespace {

const char* const kWriteError = "Unable to write file.  Is the disk full?";
const char* const kSaveError =
    "Unable to open file for saving.  Is this file opened in another program?";

// Record lines are built in one large block and handed to the stream in big writes.
class ChunkWriter {
  public:
    explicit ChunkWriter(std::ostream& out) : out_(out), buf_(new char[kSize]) {}
    ~ChunkWriter() { flush(); }
    ChunkWriter(const ChunkWriter&) = delete;
    ChunkWriter& operator=(const ChunkWriter&) = delete;

    void number(double v) {
        room();
        pos_ = static_cast<std::size_t>(fastfmt::format_g10(buf_.get() + pos_, v) - buf_.get());
    }
    void put(char c) {
        room();
        buf_[pos_++] = c;
    }
    void put(const char* s) {
        const std::size_t n = std::strlen(s);
        room();
        std::memcpy(buf_.get() + pos_, s, n);
        pos_ += n;
    }
    void flush() {
        if (pos_ > 0)
            out_.write(buf_.get(), static_cast<std::streamsize>(pos_));
        pos_ = 0;
    }

  private:
    static constexpr std::size_t kSize = 1 << 20;
    static constexpr std::size_t kMargin = 64; // more than one number or one short text

    void room() {
        if (pos_ + kMargin > kSize)
            flush();
    }

    std::ostream& out_;
    std::unique_ptr<char[]> buf_;
    std::size_t pos_ = 0;
};

struct Column {
    bool is_a;
    std::size_t channel;
};

// Data columns in layout order: all c channels then all a channels, or for FLW in file order
// the columns as `channel_is_a` lists them, each holding the channel that sits at its position.
std::vector<Column> column_layout(const HYP_Data& d, bool file_order) {
    std::vector<Column> cols;
    if (d.instrument_type == InstrumentType::FLW && file_order) {
        const std::size_t na = d.a_order.size(), nc = d.c_order.size();
        std::vector<std::size_t> a_at(na, na), c_at(nc, nc); // file position -> channel
        bool valid = na == d.a_wavelengths.size() && nc == d.c_wavelengths.size();
        for (std::size_t k = 0; valid && k < na; ++k) {
            const auto pos = static_cast<std::size_t>(d.a_order[k]);
            valid = d.a_order[k] >= 0 && pos < na && a_at[pos] == na;
            if (valid)
                a_at[pos] = k;
        }
        for (std::size_t k = 0; valid && k < nc; ++k) {
            const auto pos = static_cast<std::size_t>(d.c_order[k]);
            valid = d.c_order[k] >= 0 && pos < nc && c_at[pos] == nc;
            if (valid)
                c_at[pos] = k;
        }
        std::size_t ma = 0, mc = 0;
        for (std::size_t j = 0; valid && j < d.channel_is_a.size(); ++j) {
            if (d.channel_is_a[j]) {
                valid = ma < na;
                if (valid)
                    cols.push_back({true, a_at[ma++]});
            } else {
                valid = mc < nc;
                if (valid)
                    cols.push_back({false, c_at[mc++]});
            }
        }
        if (!valid || ma != na || mc != nc)
            throw VelmoraError("The column order of this FLW data set is not available.");
        return cols;
    }
    cols.reserve(d.a_wavelengths.size() + d.c_wavelengths.size());
    for (std::size_t i = 0; i < d.c_wavelengths.size(); ++i)
        cols.push_back({false, i});
    for (std::size_t i = 0; i < d.a_wavelengths.size(); ++i)
        cols.push_back({true, i});
    return cols;
}

void check_values(const hyp_data& r, const HYP_Data& d) {
    if (r.a_values.size() < d.a_wavelengths.size() || r.c_values.size() < d.c_wavelengths.size())
        throw VelmoraError("A record holds fewer values than there are channels.");
}

// What follows the time on each record line.
struct LineShape {
    const std::vector<Column>& cols;
    const std::vector<ctd_struct>* extra;
    bool with_corrections;
    bool chl_column;
    bool gps_columns = false; // latitude and longitude from lat_list and lon_list

    // The longest line: every number with its tab, and the line break.
    std::size_t max_line() const { return (cols.size() + 7) * (fastfmt::kMaxG10 + 1) + 1; }
};

char* put_number(char* p, double v) {
    p = fastfmt::format_g10(p, v);
    *p++ = '\t';
    return p;
}

// One record line at p, which has room for shape.max_line(); `end` follows what is written.  A
// record that cannot be corrected writes nothing; a ChlA value that cannot be had ends the line
// before it.
void format_line(const HYP_Data& d, std::size_t idx, const LineShape& shape, char* p,
                 char*& end) {
    hyp_data corrected;
    if (shape.with_corrections)
        corrected = d.correct_one_line(idx);
    const hyp_data& r = shape.with_corrections ? corrected : d.records[idx];
    check_values(r, d);
    p = put_number(p, d.records[idx].time);
    for (const Column& c : shape.cols)
        p = put_number(p, c.is_a ? r.a_values[c.channel] : r.c_values[c.channel]);
    if (shape.extra) {
        const ctd_struct& e = (*shape.extra)[idx];
        p = put_number(p, e.temperature);
        p = put_number(p, e.salinity);
        p = put_number(p, e.pressure);
    }
    if (shape.gps_columns) {
        p = put_number(p, d.lat_list[idx]);
        p = put_number(p, d.lon_list[idx]);
    }
    end = p;
    if (shape.chl_column) {
        // The ChlA column comes from the corrected records the save commands keep; without
        // them, from the values on this line.
        p = put_number(p, idx < d.corrected_records.size() ? d.chl_ratio(idx) : d.chl_ratio_of(r));
    }
    *p++ = '\n';
    end = p;
}

// Formatted record lines of one block.
struct TextBlock {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::size_t capacity = 0;

    // Where `n` more characters go.
    char* room(std::size_t n) {
        if (size + n > capacity) {
            const std::size_t grown = std::max(size + n, capacity * 2);
            std::unique_ptr<char[]> bigger(new char[grown]);
            if (size > 0)
                std::memcpy(bigger.get(), data.get(), size);
            data = std::move(bigger);
            capacity = grown;
        }
        return data.get() + size;
    }
};

// Which records a call writes: the given indices, or a range of positions.
struct Selection {
    const RecordIndices* indices = nullptr;
    std::size_t first = 0, last = 0;

    std::size_t size() const { return indices ? indices->size() : last - first; }
    std::size_t operator[](std::size_t i) const { return indices ? (*indices)[i] : first + i; }
};

// `extra`: the per-record list whose temperature, salinity and pressure follow the values (the
// merged CTD values, or in data files the file's own onboard values), or none.
void write_records(const HYP_Data& d, std::ostream& out, const Selection& sel, bool with_corrections,
                   bool averaged, const std::vector<ctd_struct>* extra, bool file_order,
                   bool chl_column, bool gps_columns = false) {
    const std::size_t n_records = d.records.size();
    for (std::size_t i = 0; i < sel.size(); ++i) {
        if (sel[i] >= n_records)
            throw VelmoraError("Record index out of range.");
    }
    if (averaged && sel.size() == 0)
        throw VelmoraError("No records selected.");
    const std::vector<Column> cols = column_layout(d, file_order);

    if (averaged) {
        ChunkWriter w(out);
        std::vector<double> sums(cols.size(), 0.0);
        for (std::size_t i = 0; i < sel.size(); ++i) {
            const std::size_t idx = sel[i];
            hyp_data corrected;
            if (with_corrections)
                corrected = d.correct_one_line(idx);
            const hyp_data& r = with_corrections ? corrected : d.records[idx];
            check_values(r, d);
            for (std::size_t k = 0; k < cols.size(); ++k)
                sums[k] += cols[k].is_a ? r.a_values[cols[k].channel] : r.c_values[cols[k].channel];
        }
        const double count = static_cast<double>(sel.size());
        w.put("0\t");
        for (const double s : sums) {
            w.number(s / count);
            w.put('\t');
        }
        w.flush();
        out.flush();
        return;
    }

    if (extra && extra->size() < n_records)
        throw VelmoraError("CTD data do not match the records.");
    if (gps_columns && (d.lat_list.size() < n_records || d.lon_list.size() < n_records))
        throw VelmoraError("GPS positions do not match the records.");
    const LineShape shape{cols, extra, with_corrections, chl_column, gps_columns};
    // Blocks of lines are formatted side by side and written in order; correct_one_line and
    // chl_ratio only read the data set.  A failing record ends the output after the lines before
    // it, as a single thread would.
    const std::size_t max_line = shape.max_line();
    const std::size_t per_block =
        std::max<std::size_t>(1, parallel::tuning().block_bytes / max_line);
    const std::size_t blocks = (sel.size() + per_block - 1) / per_block;
    parallel::ordered_blocks<TextBlock>(
        blocks, parallel::thread_count(),
        [&](std::size_t b, TextBlock& text) {
            text.size = 0;
            const std::size_t end = std::min(sel.size(), (b + 1) * per_block);
            for (std::size_t i = b * per_block; i < end; ++i) {
                char* const start = text.room(max_line);
                char* end = start;
                try {
                    format_line(d, sel[i], shape, start, end);
                } catch (...) {
                    text.size += static_cast<std::size_t>(end - start);
                    throw;
                }
                text.size += static_cast<std::size_t>(end - start);
            }
        },
        [&](std::size_t, TextBlock& text) {
            out.write(text.data.get(), static_cast<std::streamsize>(text.size));
        });
    out.flush();
}

} // namespace

void HYP_Data::write_lines(std::ostream& out, const RecordIndices& indices,
                           const LineOptions& options) const {
    Selection sel;
    if (indices.empty())
        sel.last = records.size();
    else
        sel.indices = &indices;
    write_records(*this, out, sel, options.with_corrections, options.averaged,
                  options.ctd_columns ? &ctd_list.samples : nullptr, options.file_order,
                  options.chl_column);
}

namespace {

// Data files keep the file's own temperature and pressure columns when the data set has them
// (one entry per record), so that saving and loading again loses nothing.
const std::vector<ctd_struct>* onboard_columns(const HYP_Data& d) {
    const auto& list = d.onboard_list.samples;
    return !list.empty() && list.size() == d.records.size() ? &list : nullptr;
}

} // namespace

void HYP_Data::write_data_header(std::ostream& out) const {
    std::string h = "File created by Velmora version 2.0";
    // The start time rides at the end of the title line, which every reader of these files
    // skips.
    if (start_utc) {
        h += '\t';
        h += clock_time::start_field(*start_utc);
    }
    h += '\n';
    // HYP: the device lines up to the line after the wavelength lines; FLW: up to the two lines
    // after the column lines.  A header read from a data file ends with the file's bin-size and
    // label lines (which are written anew below), one copied from a device file with the device
    // file's last line; either way the reader finds its layout again.
    std::size_t count = header_lines.size();
    const std::size_t n = a_wavelengths.size();
    if (instrument_type == InstrumentType::HYP)
        count = header_lines.size() >= devfile_layout::hyp_data_header_lines(n)
                    ? devfile_layout::hyp_data_header_lines(n)
                    : (header_lines.size() >= 2 ? header_lines.size() - 2 : 0);
    else if (instrument_type == InstrumentType::FLW && header_lines.size() >= devfile_layout::flw_data_header_lines)
        count = devfile_layout::flw_data_header_lines;
    for (std::size_t i = 0; i < count; ++i) {
        h += header_lines[i];
        h += '\n';
    }
    h += "1\t\t\t; acquisition bin size\n";
    if (instrument_type == InstrumentType::HYP || instrument_type == InstrumentType::FLW) {
        h += "Time(ms)\t";
        for (const Column& c : column_layout(*this, true)) {
            h += c.is_a ? 'A' : 'C';
            text::append_g(h, c.is_a ? a_wavelengths[c.channel] : c_wavelengths[c.channel], 6);
            h += '\t';
        }
        h += '\n';
    }
    out << h;
}

void HYP_Data::save_records(const std::string& path) {
    AtomicFile file(path, kSaveError);
    write_data_header(file.stream());
    Selection all;
    all.last = records.size();
    write_records(*this, file.stream(), all, false, false, onboard_columns(*this), true, false);
    file.commit();
}

void HYP_Data::save_selection(const std::string& path, const RecordIndices& indices) {
    AtomicFile file(path, kSaveError);
    write_data_header(file.stream());
    Selection sel;
    if (indices.empty())
        sel.last = records.size();
    else
        sel.indices = &indices;
    write_records(*this, file.stream(), sel, true, false, onboard_columns(*this), true, false);
    file.commit();
}

void HYP_Data::write_corrected_lines(std::ostream& out, bool ctd_columns, bool chl_column) {
    Selection all;
    all.last = records.size();
    write_records(*this, out, all, true, false, ctd_columns ? &ctd_list.samples : nullptr, false,
                  chl_column, gps_merged);
}

void HYP_Data::open_continuous(const std::string& path) {
    if (continuous_file.is_open())
        continuous_file.close();
    continuous_file.clear();
    continuous_file.open(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!continuous_file.is_open())
        throw VelmoraError(kSaveError);
    written_count = 0;
    // The title line carries the start time, which the first record sets: without it and
    // without records the header waits for the first record (or for the file to be closed).
    continuous_header_due = true;
    if (start_utc || !records.empty()) {
        write_continuous_header();
        if (!continuous_file.good()) {
            continuous_file.close();
            throw VelmoraError(kWriteError);
        }
    }
}

void HYP_Data::write_continuous_header() {
    continuous_header_due = false;
    write_data_header(continuous_file);
    continuous_file.flush();
}

void HYP_Data::append_continuous() {
    if (!continuous_file.is_open() || written_count >= records.size())
        return;
    if (continuous_header_due) {
        write_continuous_header();
        if (!continuous_file.good())
            throw VelmoraError(kWriteError);
    }
    Selection sel;
    sel.first = written_count;
    sel.last = records.size();
    write_records(*this, continuous_file, sel, false, false, onboard_columns(*this), true, false);
    // Records count as saved only once the system has taken every byte of them.
    if (!continuous_file.good())
        throw VelmoraError(kWriteError);
    written_count = static_cast<std::uint32_t>(records.size());
}

void HYP_Data::close_continuous() {
    if (!continuous_file.is_open())
        return;
    // A file without records still gets its header, as it always had.
    if (continuous_header_due) {
        try {
            write_continuous_header();
        } catch (...) {
        }
    }
    continuous_file.close();
}
