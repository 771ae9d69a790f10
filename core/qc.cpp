// Quality-control flags of the product table: every value is tested in record order, one value
// column at a time, and each record gets the worst flag of the values in its wavelength window.
//
// Flags order as 1 < 3 < 4, so a value's flag is the largest result of the tests it went
// through; the range test runs on every finite value, so a finite value is never "not
// evaluated".
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "products.h"

namespace {

using Flag = std::uint8_t;

// Columns are copied out of the row-major matrices this many at a time, so that each row's
// values are read once from memory.
constexpr std::size_t kBlockColumns = 8;

// The candidates for the largest (or smallest) value of a sliding window over one column: a
// ring of record indices whose values decrease (increase) from the front.  The front is the
// extreme of everything pushed since the window's start; the first element at or after index
// `from` is the extreme of the values from `from` on.
template <bool Largest> class MonotoneWindow {
  public:
    explicit MonotoneWindow(std::size_t capacity) : ring_(std::max<std::size_t>(capacity, 1)) {}

    void clear() { head_ = size_ = 0; }

    void push(const double* x, std::size_t i) {
        while (size_ > 0 && !before(x[back()], x[i]))
            --size_;
        ring_[(head_ + size_) % ring_.size()] = i;
        ++size_;
    }

    // Forgets the indices below `first`.
    void drop_before(std::size_t first) {
        while (size_ > 0 && ring_[head_] < first) {
            head_ = (head_ + 1) % ring_.size();
            --size_;
        }
    }

    // The extreme of the values pushed at `from` or later; the window must hold one.
    double extreme_from(const double* x, std::size_t from) const {
        std::size_t lo = 0, hi = size_ - 1; // the answer is the first element >= from
        while (lo < hi) {
            const std::size_t mid = (lo + hi) / 2;
            if (at(mid) < from)
                lo = mid + 1;
            else
                hi = mid;
        }
        return x[at(lo)];
    }

  private:
    std::vector<std::size_t> ring_;
    std::size_t head_ = 0, size_ = 0;

    std::size_t at(std::size_t k) const { return ring_[(head_ + k) % ring_.size()]; }
    std::size_t back() const { return at(size_ - 1); }
    // Whether a value stays in front of a later one (ties: the later one replaces it).
    static bool before(double earlier, double later) {
        return Largest ? earlier > later : earlier < later;
    }
};

// The flat-line test of one column: whether the previous K values all lie within eps of the
// current one, for the suspect and the fail window.  All previous values lie within eps of x
// exactly when the window's largest is at most x + eps away and its smallest too, so two
// monotone windows answer it in constant time per value.
class FlatLine {
  public:
    explicit FlatLine(const ProcessingOptions::Qc& q)
        : eps_(q.flat_eps), ks_(static_cast<std::size_t>(q.flat_suspect)),
          kf_(static_cast<std::size_t>(q.flat_fail)),
          span_(static_cast<std::size_t>(std::max({q.flat_suspect, q.flat_fail, 1}))),
          on_(q.flat_suspect >= 1 && q.flat_fail >= 1), max_(span_ + 1), min_(span_ + 1) {}

    void start_column() {
        max_.clear();
        min_.clear();
        any_missing_ = false;
        last_missing_ = 0;
    }

    void missing(std::size_t n) {
        max_.clear();
        min_.clear();
        any_missing_ = true;
        last_missing_ = n;
    }

    // The flag of the finite value x[n] (0: not evaluated); call for n in record order.
    Flag test(const double* x, std::size_t n) {
        if (!on_)
            return 0;
        Flag f = 0;
        if (n >= ks_ && finite_back(n, n >= kf_ ? kf_ : ks_)) {
            if (std::fabs(x[n] - x[n - 1]) > eps_)
                f = qc_flag::kPass; // the nearest neighbour already differs
            else if (n >= kf_ && flat_over(x, n, kf_))
                f = qc_flag::kFail;
            else
                f = flat_over(x, n, ks_) ? qc_flag::kSuspect : qc_flag::kPass;
        }
        if (n >= span_) {
            max_.drop_before(n + 1 - span_);
            min_.drop_before(n + 1 - span_);
        }
        max_.push(x, n);
        min_.push(x, n);
        return f;
    }

  private:
    double eps_;
    std::size_t ks_, kf_, span_;
    bool on_;
    MonotoneWindow<true> max_;
    MonotoneWindow<false> min_;
    bool any_missing_ = false;
    std::size_t last_missing_ = 0;

    // Whether x[n - k] is finite for k = 1 .. w (n >= w).
    bool finite_back(std::size_t n, std::size_t w) const {
        return !any_missing_ || last_missing_ < n - w;
    }
    bool flat_over(const double* x, std::size_t n, std::size_t w) const {
        if (!finite_back(n, w))
            return false;
        return max_.extreme_from(x, n - w) - x[n] <= eps_ &&
               x[n] - min_.extreme_from(x, n - w) <= eps_;
    }
};

// How a value's flag weighs in the record flag: 4 above 3 and 9, above 1, above 2.
int record_rank(Flag f) {
    switch (f) {
    case qc_flag::kFail:
        return 3;
    case qc_flag::kSuspect:
    case qc_flag::kMissing:
        return 2;
    case qc_flag::kPass:
        return 1;
    default:
        return 0;
    }
}
constexpr Flag kRecordFlagOfRank[4] = {qc_flag::kNotEvaluated, qc_flag::kPass, qc_flag::kSuspect,
                                       qc_flag::kFail};

// The flag every value of a record gets from the gap and residual temperature tests (0: none).
std::vector<Flag> record_tests(const ProductTable& t, const ProcessingOptions::Qc& q) {
    const std::size_t rows = t.rows();
    std::vector<Flag> f(rows, 0);
    if (rows >= 3) {
        std::vector<double> steps;
        steps.reserve(rows - 1);
        for (std::size_t n = 1; n < rows; ++n) {
            const double s = t.time[n] - t.time[n - 1];
            if (std::isfinite(s))
                steps.push_back(s);
        }
        if (!steps.empty()) {
            const std::size_t mid = steps.size() / 2;
            std::nth_element(steps.begin(), steps.begin() + mid, steps.end());
            double median = steps[mid];
            if (steps.size() % 2 == 0)
                median = (*std::max_element(steps.begin(), steps.begin() + mid) + median) / 2;
            const double limit = q.gap_factor * median;
            for (std::size_t n = 1; n < rows; ++n)
                if (t.time[n] - t.time[n - 1] > limit)
                    f[n] = qc_flag::kSuspect;
        }
    }
    if (!t.dT.empty()) {
        for (std::size_t n = 0; n < rows; ++n) {
            const double d = std::fabs(t.dT[n]);
            Flag r = 0;
            if (!(d <= q.residual_fail)) // NaN fails
                r = qc_flag::kFail;
            else if (d > q.residual_suspect)
                r = qc_flag::kSuspect;
            f[n] = std::max(f[n], r);
        }
    }
    return f;
}

// Flags of one value column x (one value per record).  `a` and `c` are the absorption and
// attenuation columns of the same channel on a common grid, for the negative-b test (null
// otherwise).
void flag_column(const double* x, std::size_t rows, const double* a, const double* c,
                 const ProcessingOptions::Qc& q, const std::vector<Flag>& per_record,
                 FlatLine& flat, Flag* out) {
    flat.start_column();
    for (std::size_t n = 0; n < rows; ++n) {
        const double v = x[n];
        if (!std::isfinite(v)) {
            out[n] = qc_flag::kMissing;
            flat.missing(n);
            continue;
        }
        Flag f = (v < q.range_min || v > q.range_max) ? qc_flag::kFail : qc_flag::kPass;
        if (n > 0 && n + 1 < rows && std::isfinite(x[n - 1]) && std::isfinite(x[n + 1])) {
            const double d = std::fabs(v - (x[n - 1] + x[n + 1]) / 2);
            if (d > q.spike_fail)
                f = qc_flag::kFail;
            else if (d > q.spike_suspect)
                f = std::max(f, qc_flag::kSuspect);
        }
        f = std::max(f, flat.test(x, n));
        if (a) {
            const double b = c[n] - a[n]; // NaN when the other value is missing: no result
            if (b < q.neg_b_fail)
                f = qc_flag::kFail;
            else if (b < q.neg_b_suspect)
                f = std::max(f, qc_flag::kSuspect);
        }
        out[n] = std::max(f, per_record[n]);
    }
}

// One matrix of the table with its flags.
struct Values {
    const std::vector<double>& v;
    std::vector<Flag>& flags;
    std::size_t channels;
    std::vector<bool> in_window; // per channel: counts in the record flag
};

// Copies columns first .. first + count - 1 of a row-major matrix into `out`, column after
// column.
void copy_columns(const std::vector<double>& m, std::size_t channels, std::size_t rows,
                  std::size_t first, std::size_t count, std::vector<double>& out) {
    out.resize(count * rows);
    for (std::size_t n = 0; n < rows; ++n) {
        const double* row = m.data() + n * channels + first;
        for (std::size_t j = 0; j < count; ++j)
            out[j * rows + n] = row[j];
    }
}

} // namespace

void apply_qc(ProductTable& t, const ProcessingOptions::Qc& q) {
    const std::size_t rows = t.rows();
    const std::size_t na = t.a_channels(), nc = t.c_channels();
    t.a_flags.assign(rows * na, qc_flag::kNotEvaluated);
    t.c_flags.assign(rows * nc, qc_flag::kNotEvaluated);
    t.flag.assign(rows, qc_flag::kNotEvaluated);
    if (rows == 0)
        return;

    const std::vector<Flag> per_record = record_tests(t, q);
    // The record window goes by the a wavelength of a channel; off a common grid the c channels
    // go by their own wavelength.
    auto window = [&](const std::vector<double>& wl) {
        std::vector<bool> in(wl.size());
        for (std::size_t i = 0; i < wl.size(); ++i)
            in[i] = wl[i] >= q.window_lo && wl[i] <= q.window_hi;
        return in;
    };
    Values a{t.a, t.a_flags, na, window(t.a_wavelengths)};
    Values c{t.c, t.c_flags, nc, window(t.common_grid ? t.a_wavelengths : t.c_wavelengths)};
    const bool common = t.common_grid && na == nc;

    std::vector<int> rank(rows, 0);
    FlatLine flat(q);
    std::vector<double> block, partner;
    std::vector<Flag> flags;
    // Flags the columns of `m` in blocks; on a common grid `other` is the matrix of the other
    // kind (c for a, a for c), for the negative-b test.
    auto flag_matrix = [&](Values& m, const Values* other, bool m_is_a) {
        for (std::size_t first = 0; first < m.channels; first += kBlockColumns) {
            const std::size_t count = std::min(kBlockColumns, m.channels - first);
            copy_columns(m.v, m.channels, rows, first, count, block);
            if (other)
                copy_columns(other->v, other->channels, rows, first, count, partner);
            flags.resize(count * rows);
            for (std::size_t j = 0; j < count; ++j) {
                const double* x = block.data() + j * rows;
                const double* y = other ? partner.data() + j * rows : nullptr;
                const double* a_col = y ? (m_is_a ? x : y) : nullptr;
                const double* c_col = y ? (m_is_a ? y : x) : nullptr;
                flag_column(x, rows, a_col, c_col, q, per_record, flat, flags.data() + j * rows);
            }
            for (std::size_t n = 0; n < rows; ++n) {
                Flag* row = m.flags.data() + n * m.channels + first;
                for (std::size_t j = 0; j < count; ++j) {
                    const Flag f = flags[j * rows + n];
                    row[j] = f;
                    if (m.in_window[first + j])
                        rank[n] = std::max(rank[n], record_rank(f));
                }
            }
        }
    };
    flag_matrix(a, common ? &c : nullptr, true);
    flag_matrix(c, common ? &a : nullptr, false);
    for (std::size_t n = 0; n < rows; ++n)
        t.flag[n] = kRecordFlagOfRank[rank[n]];
}
