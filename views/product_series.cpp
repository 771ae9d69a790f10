#include "product_series.h"

#include <cmath>

#include "hyp_data.h"
#include "products.h"

namespace {

bool matrices_fit(const ProductTable& t) {
    const std::size_t rows = t.rows();
    return t.a.size() == rows * t.a_channels() && t.c.size() == rows * t.c_channels() &&
           (t.a_flags.empty() || t.a_flags.size() == t.a.size()) &&
           (t.c_flags.empty() || t.c_flags.size() == t.c.size()) && t.a_channels() > 0 &&
           t.c_channels() > 0;
}

// Values m[first + i * stride] for i < count against key[i], flags alike.
void split(const std::vector<double>& m, const std::vector<std::uint8_t>& flags, std::size_t first,
           std::size_t stride, std::size_t count, const std::vector<double>& key, bool hide_flagged,
           FlaggedPoints& out) {
    out.clear();
    const bool flagged = !flags.empty();
    for (std::size_t i = 0; i < count && i < key.size(); ++i) {
        const std::size_t at = first + i * stride;
        if (at >= m.size() || (flagged && at >= flags.size()))
            break;
        const double k = key[i];
        if (!std::isfinite(k))
            continue;
        const double v = m[at];
        const std::uint8_t f = flagged ? flags[at] : 0;
        if (!std::isfinite(v) || f == qc_flag::kMissing) {
            ++out.missing;
            continue;
        }
        const bool suspect = f == qc_flag::kSuspect, fail = f == qc_flag::kFail;
        if ((suspect || fail) && hide_flagged) {
            ++out.hidden;
            continue;
        }
        out.shown.add(k, v, i);
        if (suspect)
            out.suspect.add(k, v, i);
        else if (fail)
            out.fail.add(k, v, i);
    }
}

} // namespace

void IndexedPoints::clear() {
    key.clear();
    value.clear();
    index.clear();
}

void IndexedPoints::add(double k, double v, std::size_t i) {
    key.push_back(k);
    value.push_back(v);
    index.push_back(i);
}

void FlaggedPoints::clear() {
    shown.clear();
    suspect.clear();
    fail.clear();
    missing = hidden = 0;
}

const ProductTable* record_products_for(const HYP_Data& d) {
    const ProductTable* t = d.record_products.get();
    if (!t || t->binned() || t->rows() != d.records.size() || t->rows() == 0 || !matrices_fit(*t))
        return nullptr;
    return t;
}

const ProductTable* depth_bins_for(const HYP_Data& d) {
    const ProductTable* t = d.binned_products.get();
    if (!t || t->bin_kind != BinKind::Depth || t->depth.size() != t->rows() || !matrices_fit(*t))
        return nullptr;
    return t;
}

void split_column(const std::vector<double>& m, const std::vector<std::uint8_t>& flags,
                  std::size_t channels, std::size_t column, const std::vector<double>& key,
                  bool hide_flagged, FlaggedPoints& out) {
    if (column >= channels) {
        out.clear();
        return;
    }
    split(m, flags, column, channels, m.size() / channels, key, hide_flagged, out);
}

void split_row(const std::vector<double>& m, const std::vector<std::uint8_t>& flags,
               const std::vector<double>& wavelengths, std::size_t row, bool hide_flagged,
               FlaggedPoints& out) {
    const std::size_t n = wavelengths.size();
    split(m, flags, row * n, 1, n, wavelengths, hide_flagged, out);
}

std::string qc_flag_text(std::uint8_t flag) {
    const char* name = "unknown";
    switch (flag) {
    case qc_flag::kPass:
        name = "pass";
        break;
    case qc_flag::kNotEvaluated:
        name = "not evaluated";
        break;
    case qc_flag::kSuspect:
        name = "suspect";
        break;
    case qc_flag::kFail:
        name = "fail";
        break;
    case qc_flag::kMissing:
        name = "missing";
        break;
    default:
        break;
    }
    return std::to_string(flag) + " (" + name + ")";
}
