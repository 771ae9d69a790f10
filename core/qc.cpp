// Quality-control flags of the product table: every value is tested in record order, the
// channels shared out over the processors, and each record gets the worst flag of the values in
// its wavelength window.
//
// Flags order as 1 < 3 < 4, so a value's flag is the largest result of the tests it went
// through; the range test runs on every finite value, so a finite value is never "not
// evaluated".
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "parallel.h"
#include "products.h"

namespace {

using Flag = std::uint8_t;

// One channel's values of a row-major matrix, by record.
struct Column {
    const double* base;
    std::size_t stride;
    double operator[](std::size_t n) const { return base[n * stride]; }
};

// The candidates for the largest (or smallest) value of a sliding window over one column: the
// record indices whose values decrease (increase) from the front.  The front is the extreme of
// everything pushed since the window's start; the first element at or after index `from` is the
// extreme of the values from `from` on.  The elements live in a buffer twice the window's size
// that is moved back to its start when full (no division per value).
template <bool Largest> class MonotoneWindow {
  public:
    explicit MonotoneWindow(std::size_t window) : buf_(2 * window + 2) {}

    void clear() { head_ = tail_ = 0; }

    void push(const Column& x, std::size_t i) {
        while (tail_ > head_ && !before(x[buf_[tail_ - 1]], x[i]))
            --tail_;
        if (tail_ == buf_.size()) {
            std::copy(buf_.begin() + head_, buf_.end(), buf_.begin());
            tail_ -= head_;
            head_ = 0;
        }
        buf_[tail_++] = i;
    }

    // Forgets the indices below `first`.
    void drop_before(std::size_t first) {
        while (head_ < tail_ && buf_[head_] < first)
            ++head_;
    }

    // The extreme of the values pushed at `from` or later; the window must hold one.
    double extreme_from(const Column& x, std::size_t from) const {
        const auto first = std::lower_bound(buf_.begin() + head_, buf_.begin() + tail_, from);
        return x[*first];
    }

  private:
    std::vector<std::size_t> buf_;
    std::size_t head_ = 0, tail_ = 0;

    // Whether a value stays in front of a later one (ties: the later one replaces it).
    static bool before(double earlier, double later) {
        return Largest ? earlier > later : earlier < later;
    }
};

// The flat-line test of one column: whether the previous K values all lie within eps of the
// current one, for the suspect and the fail window.  All previous values lie within eps of x
// exactly when the window's largest is at most x + eps away and its smallest too, so two
// monotone windows answer it in constant time per value.  Most values differ from the one
// before by more than eps and need no window; the windows are kept only while values need them
// and built again from the column when a value does after a stretch that did not (each such
// stretch is longer than a window, so the rebuilds cost at most one push per value).
class FlatLine {
  public:
    explicit FlatLine(const ProcessingOptions::Qc& q)
        : eps_(q.flat_eps), ks_(static_cast<std::size_t>(q.flat_suspect)),
          kf_(static_cast<std::size_t>(q.flat_fail)),
          span_(static_cast<std::size_t>(std::max({q.flat_suspect, q.flat_fail, 1}))),
          on_(q.flat_suspect >= 1 && q.flat_fail >= 1), max_(span_), min_(span_) {}

    void start_column() {
        active_ = false;
        any_missing_ = false;
        last_missing_ = 0;
    }

    void missing(std::size_t n) {
        active_ = false;
        any_missing_ = true;
        last_missing_ = n;
    }

    // The flag of the finite value x[n] (0: not evaluated); call for n in record order.
    Flag test(const Column& x, std::size_t n) {
        if (!on_)
            return 0;
        Flag f = 0;
        if (n >= ks_ && finite_back(n, n >= kf_ ? kf_ : ks_)) {
            if (std::fabs(x[n] - x[n - 1]) > eps_) {
                f = qc_flag::kPass; // the nearest neighbour already differs
            } else {
                if (!active_)
                    rebuild(x, n);
                idle_ = 0;
                if (n >= kf_ && flat_over(x, n, kf_))
                    f = qc_flag::kFail;
                else
                    f = flat_over(x, n, ks_) ? qc_flag::kSuspect : qc_flag::kPass;
            }
        }
        if (active_ && ++idle_ > span_)
            active_ = false;
        if (active_) {
            if (n >= span_) {
                max_.drop_before(n + 1 - span_);
                min_.drop_before(n + 1 - span_);
            }
            max_.push(x, n);
            min_.push(x, n);
        }
        return f;
    }

  private:
    double eps_;
    std::size_t ks_, kf_, span_;
    bool on_;
    MonotoneWindow<true> max_;
    MonotoneWindow<false> min_;
    bool active_ = false; // the windows hold the finite values of the last span_ records
    std::size_t idle_ = 0;
    bool any_missing_ = false;
    std::size_t last_missing_ = 0;

    // Whether x[n - k] is finite for k = 1 .. w (n >= w).
    bool finite_back(std::size_t n, std::size_t w) const {
        return !any_missing_ || last_missing_ < n - w;
    }
    // The windows of the records before n.
    void rebuild(const Column& x, std::size_t n) {
        max_.clear();
        min_.clear();
        std::size_t first = n > span_ ? n - span_ : 0;
        if (any_missing_)
            first = std::max(first, last_missing_ + 1);
        for (std::size_t j = first; j < n; ++j) {
            max_.push(x, j);
            min_.push(x, j);
        }
        active_ = true;
    }
    bool flat_over(const Column& x, std::size_t n, std::size_t w) const {
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

// Per channel of a (or c): whether its values count in the record flag.  Channel i of both
// matrices is the a wavelength i's channel: the c value of a channel counts when its a
// wavelength lies in the window (c's own wavelengths only when the lists are not paired).
std::vector<bool> in_record_window(const ProductTable& t, bool is_a) {
    const bool paired = t.a_channels() == t.c_channels();
    const std::vector<double>& wl = is_a || paired ? t.a_wavelengths : t.c_wavelengths;
    std::vector<bool> in(wl.size());
    for (std::size_t i = 0; i < wl.size(); ++i)
        in[i] = wl[i] >= t.qc_window_lo && wl[i] <= t.qc_window_hi;
    return in;
}

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

// One matrix of the table with its flags.
struct Matrix {
    const double* v;
    Flag* flags;
    std::size_t channels;
    std::vector<bool> in_window; // per channel: counts in the record flag
};

// Flags the values of channels first .. last - 1 of `m`, record by record, and raises rank[n]
// to the record rank of each value of record n in the record window.  On a common grid `a` and
// `c` are the table's two matrices, for the negative-b test (null otherwise).
void flag_channels(const Matrix& m, std::size_t first, std::size_t last, std::size_t rows,
                   const double* a, const double* c, const ProcessingOptions::Qc& q,
                   const std::vector<Flag>& per_record, std::vector<std::uint8_t>& rank) {
    const std::size_t width = m.channels;
    std::vector<FlatLine> flat(last - first, FlatLine(q));
    for (FlatLine& f : flat)
        f.start_column();
    for (std::size_t n = 0; n < rows; ++n) {
        const double* row = m.v + n * width;
        const bool inner = n > 0 && n + 1 < rows; // both neighbours exist
        Flag* out = m.flags + n * width;
        int worst = rank[n];
        for (std::size_t i = first; i < last; ++i) {
            const double v = row[i];
            Flag f;
            if (!std::isfinite(v)) {
                f = qc_flag::kMissing;
                flat[i - first].missing(n);
            } else {
                f = (v < q.range_min || v > q.range_max) ? qc_flag::kFail : qc_flag::kPass;
                if (inner) {
                    const double before = row[i - width], after = row[i + width];
                    if (std::isfinite(before) && std::isfinite(after)) {
                        const double d = std::fabs(v - (before + after) / 2);
                        if (d > q.spike_fail)
                            f = qc_flag::kFail;
                        else if (d > q.spike_suspect)
                            f = std::max(f, qc_flag::kSuspect);
                    }
                }
                f = std::max(f, flat[i - first].test(Column{m.v + i, width}, n));
                if (a) {
                    // NaN when the other value is missing: no result
                    const double b = c[n * width + i] - a[n * width + i];
                    if (b < q.neg_b_fail)
                        f = qc_flag::kFail;
                    else if (b < q.neg_b_suspect)
                        f = std::max(f, qc_flag::kSuspect);
                }
                f = std::max(f, per_record[n]);
            }
            out[i] = f;
            if (m.in_window[i])
                worst = std::max(worst, record_rank(f));
        }
        rank[n] = static_cast<std::uint8_t>(worst);
    }
}

} // namespace

void apply_qc(ProductTable& t, const ProcessingOptions::Qc& q) {
    const std::size_t rows = t.rows();
    const std::size_t na = t.a_channels(), nc = t.c_channels();
    if (t.a.size() != rows * na || t.c.size() != rows * nc ||
        (!t.dT.empty() && t.dT.size() != rows))
        throw VelmoraError("The product table's columns do not match its rows.");
    t.a_flags.assign(rows * na, qc_flag::kNotEvaluated);
    t.c_flags.assign(rows * nc, qc_flag::kNotEvaluated);
    t.flag.assign(rows, qc_flag::kNotEvaluated);
    if (rows == 0)
        return;

    const std::vector<Flag> per_record = record_tests(t, q);
    t.qc_window_lo = q.window_lo;
    t.qc_window_hi = q.window_hi;
    const Matrix a{t.a.data(), t.a_flags.data(), na, in_record_window(t, true)};
    const Matrix c{t.c.data(), t.c_flags.data(), nc, in_record_window(t, false)};
    const bool common = t.common_grid && na == nc;
    const double* neg_a = common ? t.a.data() : nullptr;
    const double* neg_c = common ? t.c.data() : nullptr;

    // The a channels, then the c channels, split evenly over the threads; each thread keeps its
    // own record ranks, the worst of which make the record flag.
    const std::size_t channels = na + nc;
    std::size_t parts = 1;
    if (rows >= parallel::tuning().min_part_records)
        parts = std::min<std::size_t>(parallel::thread_count(), channels);
    std::vector<std::vector<std::uint8_t>> ranks(parts, std::vector<std::uint8_t>(rows, 0));
    const auto errors = parallel::run_all(parts, [&](std::size_t k) {
        const std::size_t lo = k * channels / parts, hi = (k + 1) * channels / parts;
        if (lo < na)
            flag_channels(a, lo, std::min(hi, na), rows, neg_a, neg_c, q, per_record, ranks[k]);
        if (hi > na)
            flag_channels(c, std::max(lo, na) - na, hi - na, rows, neg_a, neg_c, q, per_record,
                          ranks[k]);
    });
    for (const std::exception_ptr& e : errors)
        if (e)
            std::rethrow_exception(e);
    for (std::size_t n = 0; n < rows; ++n) {
        std::uint8_t worst = 0;
        for (const auto& r : ranks)
            worst = std::max(worst, r[n]);
        t.flag[n] = kRecordFlagOfRank[worst];
    }
}

void record_flags_of_values(ProductTable& t) {
    const std::size_t rows = t.rows(), na = t.a_channels(), nc = t.c_channels();
    if (t.a_flags.size() != rows * na || t.c_flags.size() != rows * nc)
        throw VelmoraError("The product table's columns do not match its rows.");
    const std::vector<bool> in_a = in_record_window(t, true), in_c = in_record_window(t, false);
    t.flag.assign(rows, qc_flag::kNotEvaluated);
    for (std::size_t n = 0; n < rows; ++n) {
        int worst = 0;
        for (std::size_t i = 0; i < na; ++i)
            if (in_a[i])
                worst = std::max(worst, record_rank(t.a_flags[n * na + i]));
        for (std::size_t i = 0; i < nc; ++i)
            if (in_c[i])
                worst = std::max(worst, record_rank(t.c_flags[n * nc + i]));
        t.flag[n] = kRecordFlagOfRank[worst];
    }
}
