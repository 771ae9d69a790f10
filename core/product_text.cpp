// The corrected text file of a product table, and the flags, standard deviation and count files
// beside it.  Numbers are written as the record lines of the corrected file write them.
#include "product_text.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "channel_labels.h"
#include "fast_format.h"
#include "parallel.h"

namespace {

// Whether the table has a flag for every value (the flags file).
bool has_value_flags(const ProductTable& t) {
    return !t.a_flags.empty() && t.a_flags.size() == t.rows() * t.a_channels() &&
           t.c_flags.size() == t.rows() * t.c_channels();
}

const char* const kSaveError =
    "Unable to open file for saving.  Is this file opened in another program?";

// Lines built in a text block: numbers as the record lines of the corrected file write them.
class LineBuffer {
  public:
    explicit LineBuffer(std::string& buf) : buf_(buf) {}

    void number(double v) {
        char tmp[fastfmt::kMaxG10 + 1];
        char* end = fastfmt::format_g10(tmp, v);
        *end++ = '\t';
        buf_.append(tmp, static_cast<std::size_t>(end - tmp));
    }
    void end_line() { buf_ += '\n'; }

  private:
    std::string& buf_;
};

// Rows 0 .. rows - 1 formatted in blocks side by side and written to `out` in order;
// line(row, w) formats one row.
template <class Line>
void write_rows(std::ostream& out, std::size_t rows, std::size_t columns, Line&& line) {
    // About the writers' block size, at up to 18 characters a number.
    const std::size_t per_block = std::max<std::size_t>(
        64, parallel::tuning().block_bytes / (18 * std::max<std::size_t>(columns, 1)));
    const std::size_t blocks = (rows + per_block - 1) / per_block;
    parallel::ordered_blocks<std::string>(
        blocks, parallel::thread_count(),
        [&](std::size_t b, std::string& text) {
            text.clear();
            LineBuffer w(text);
            for (std::size_t r = b * per_block; r < std::min(rows, (b + 1) * per_block); ++r)
                line(r, w);
        },
        [&](std::size_t, std::string& text) {
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
        });
}

// One matrix per value column group, rows × channels, of numbers or of integers.
template <typename T>
void put_row(LineBuffer& w, const std::vector<T>& m, std::size_t row, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        w.number(static_cast<double>(m[row * n + i]));
}

// A companion file: the header of the value file, the label line with the value columns only,
// and one line per row of the time and the c then a matrices.
template <typename T>
void write_companion(const std::string& path, const HYP_Data& d, const CorrectedHeaderExtras& x,
                     const ProductTable& t, const std::vector<T>& c, const std::vector<T>& a) {
    AtomicFile file(path, kSaveError);
    CorrectedHeaderExtras plain = x;
    plain.extra_labels.clear();
    std::ostringstream header;
    d.write_corrected_header(header, false, false, plain);
    std::string h = header.str();
    // The label line: the time and the value columns, as the value file names them.
    h.resize(h.rfind('\n', h.size() - 2) + 1);
    h += "Time(ms)\t";
    append_channel_labels(h, t.c_wavelengths, t.a_wavelengths);
    h += '\n';
    file.stream() << h;
    write_rows(file.stream(), t.rows(), 1 + t.c_channels() + t.a_channels(),
               [&](std::size_t r, LineBuffer& w) {
                   w.number(t.time[r]);
                   put_row(w, c, r, t.c_channels());
                   put_row(w, a, r, t.a_channels());
                   w.end_line();
               });
    file.commit();
}

} // namespace

std::vector<std::string> write_product_text(const std::string& path, const HYP_Data& d,
                                            const ProcessingOptions& o, const ProductTable& t) {
    const CorrectedHeaderExtras x = header_extras(d, o, t);
    const bool chl = !t.chl.empty();
    {
        AtomicFile file(path, kSaveError);
        d.write_corrected_header(file.stream(), t.has_ctd(), chl, x);
        const std::size_t na = t.a_channels(), nc = t.c_channels();
        write_rows(file.stream(), t.rows(), 1 + na + nc + 8, [&](std::size_t r, LineBuffer& w) {
            w.number(t.time[r]);
            put_row(w, t.c, r, nc);
            put_row(w, t.a, r, na);
            if (t.has_ctd()) {
                w.number(t.temperature[r]);
                w.number(t.salinity[r]);
                w.number(t.pressure[r]);
            }
            if (d.gps_merged) { // the header names Lat and Lon whenever a log is merged
                w.number(t.has_gps() ? t.lat[r] : std::nan(""));
                w.number(t.has_gps() ? t.lon[r] : std::nan(""));
            }
            if (chl)
                w.number(t.chl[r]);
            if (!t.dT.empty())
                w.number(t.dT[r]);
            if (!t.depth.empty())
                w.number(t.depth[r]);
            if (!t.n.empty())
                w.number(t.n[r]);
            if (t.has_qc())
                w.number(t.flag[r]);
            w.end_line();
        });
        file.commit();
    }
    std::vector<std::string> written{path};
    if (has_value_flags(t)) {
        written.push_back(sibling_path(path, "_flags", ""));
        write_companion(written.back(), d, x, t, t.c_flags, t.a_flags);
    }
    if (t.binned()) {
        written.push_back(sibling_path(path, "_sd", ""));
        write_companion(written.back(), d, x, t, t.c_sd, t.a_sd);
        written.push_back(sibling_path(path, "_n", ""));
        write_companion(written.back(), d, x, t, t.c_n, t.a_n);
    }
    return written;
}

std::vector<std::string> product_text_paths(const std::string& path, const ProductTable& t) {
    std::vector<std::string> paths{path};
    if (has_value_flags(t))
        paths.push_back(sibling_path(path, "_flags", ""));
    if (t.binned()) {
        paths.push_back(sibling_path(path, "_sd", ""));
        paths.push_back(sibling_path(path, "_n", ""));
    }
    return paths;
}
