// Time and depth bins of the product table: per bin and value column the median or mean of the
// values kept, their standard deviation and count; the CTD, GPS and residual temperature
// columns are averaged.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <numeric>
#include <vector>

#include "parallel.h"
#include "products.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The records of one bin and the bin's number k (it covers [k·w, (k+1)·w) from the origin).
struct Bin {
    double k;
    std::vector<std::size_t> records;
};

// Groups records by bin number (not finite: left out), bins in ascending order, records in record
// order within each.
std::vector<Bin> group(const std::vector<double>& keys) {
    std::vector<std::size_t> order;
    order.reserve(keys.size());
    for (std::size_t n = 0; n < keys.size(); ++n)
        if (std::isfinite(keys[n]))
            order.push_back(n);
    auto by_key = [&](std::size_t x, std::size_t y) { return keys[x] < keys[y]; };
    if (!std::is_sorted(order.begin(), order.end(), by_key))
        std::stable_sort(order.begin(), order.end(), by_key);
    std::vector<Bin> bins;
    for (std::size_t n : order) {
        if (bins.empty() || bins.back().k != keys[n])
            bins.push_back({keys[n], {}});
        bins.back().records.push_back(n);
    }
    return bins;
}

// Time bins of width w ms from T0: with a start time, the whole multiple of w since 1970 at
// or before it; without one, time 0 of the records.
std::vector<Bin> time_bins(const ProductTable& t, double width_ms, double& origin) {
    origin = 0.0;
    if (t.start_utc) {
        const double start = static_cast<double>(*t.start_utc);
        origin = std::floor(start / width_ms) * width_ms - start;
    }
    std::vector<double> keys(t.rows());
    for (std::size_t n = 0; n < t.rows(); ++n)
        keys[n] = std::floor((t.time[n] - origin) / width_ms); // NaN time: left out
    return group(keys);
}

std::vector<Bin> depth_bins(const ProductTable& t, double width_m, CastDirection direction) {
    if (t.pressure.empty())
        throw VelmoraError("Depth bins need the pressure of a merged CTD.");
    const std::size_t rows = t.rows();
    // The bottom of the cast: the first record at the highest pressure.
    std::size_t bottom = 0;
    double deepest = -std::numeric_limits<double>::infinity();
    for (std::size_t n = 0; n < rows; ++n)
        if (t.pressure[n] > deepest) {
            deepest = t.pressure[n];
            bottom = n;
        }
    std::vector<double> keys(rows, kNaN);
    for (std::size_t n = 0; n < rows; ++n) {
        if (direction == CastDirection::Down && n > bottom)
            break;
        if (direction == CastDirection::Up && n <= bottom)
            continue;
        keys[n] = std::floor(t.pressure[n] / width_m); // dbar taken as m; NaN: left out
    }
    return group(keys);
}

// The mean of the finite values of column `col` over the bin's records; NaN when none.
double mean_of(const std::vector<double>& col, const Bin& bin) {
    double sum = 0.0;
    std::size_t count = 0;
    for (std::size_t n : bin.records)
        if (std::isfinite(col[n])) {
            sum += col[n];
            ++count;
        }
    return count > 0 ? sum / static_cast<double>(count) : kNaN;
}

// The mean longitude of the bin's records, taken the short way round: a ship crossing 180°
// averages to near 180°, not to 0°.  Result in [-180, 180); NaN when none is finite.
double mean_longitude(const std::vector<double>& lon, const Bin& bin) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (std::size_t n : bin.records)
        if (std::isfinite(lon[n])) {
            lo = std::min(lo, lon[n]);
            hi = std::max(hi, lon[n]);
        }
    if (!(hi - lo > 180.0))
        return mean_of(lon, bin); // not across the 180° line (or none)
    // Across it: the western longitudes counted beyond 180°.
    double sum = 0.0;
    std::size_t count = 0;
    for (std::size_t n : bin.records)
        if (std::isfinite(lon[n])) {
            sum += lon[n] < 0.0 ? lon[n] + 360.0 : lon[n];
            ++count;
        }
    const double mean = sum / static_cast<double>(count);
    return mean >= 180.0 ? mean - 360.0 : mean;
}

// One matrix of the table (a or c).
struct Matrix {
    const std::vector<double>& v;
    const std::vector<std::uint8_t>& flags; // empty: no QC
    std::size_t channels;
};

class Statistics {
  public:
    explicit Statistics(const ProcessingOptions::Binning& b) : b_(b) {}

    // The statistic, standard deviation and count of each channel of `m` over the records of
    // `bin`, one value per channel into each of `stat`, `sd` and `count`; with flags, the flag of
    // each binned value into `flag`.
    void row(const Matrix& m, const Bin& bin, double* stat, double* sd, int* count,
             std::uint8_t* flag) {
        const std::size_t size = bin.records.size();
        // The kept values, channel after channel, `size` slots each.
        scratch_.resize(m.channels * size);
        kept_.assign(m.channels, 0);
        // Per channel: whether a suspect (bit 1) or a passed (bit 0) value was kept.
        kept_flags_.assign(m.channels, 0);
        for (std::size_t n : bin.records) {
            const double* values = m.v.data() + n * m.channels;
            const std::uint8_t* flags = m.flags.empty() ? nullptr : m.flags.data() + n * m.channels;
            for (std::size_t i = 0; i < m.channels; ++i) {
                if (!std::isfinite(values[i]) || (flags && excluded(flags[i])))
                    continue;
                scratch_[i * size + kept_[i]++] = values[i];
                if (flags)
                    kept_flags_[i] |= flags[i] == qc_flag::kSuspect ? 2
                                      : flags[i] == qc_flag::kPass  ? 1
                                                                    : 0;
            }
        }
        for (std::size_t i = 0; i < m.channels; ++i) {
            double* x = scratch_.data() + i * size;
            const std::size_t k = kept_[i];
            count[i] = static_cast<int>(k);
            if (flag)
                flag[i] = kept_flags_[i] & 2   ? qc_flag::kSuspect
                          : kept_flags_[i] & 1 ? qc_flag::kPass
                                               : qc_flag::kNotEvaluated;
            if (k == 0 || static_cast<long long>(k) < b_.min_count) {
                stat[i] = sd[i] = kNaN;
                if (flag)
                    flag[i] = qc_flag::kMissing;
                continue;
            }
            const double mean = std::accumulate(x, x + k, 0.0) / static_cast<double>(k);
            double ss = 0.0;
            for (std::size_t j = 0; j < k; ++j)
                ss += (x[j] - mean) * (x[j] - mean);
            sd[i] = k >= 2 ? std::sqrt(ss / static_cast<double>(k - 1)) : kNaN;
            stat[i] = b_.stat == BinStat::Mean ? mean : median(x, k);
        }
    }

  private:
    const ProcessingOptions::Binning& b_;
    std::vector<double> scratch_;
    std::vector<std::size_t> kept_;
    std::vector<std::uint8_t> kept_flags_;

    bool excluded(std::uint8_t f) const {
        return f == qc_flag::kFail || f == qc_flag::kMissing ||
               (b_.exclude_suspect && f == qc_flag::kSuspect);
    }
    // Reorders x; an even count gives the mean of the two middle values.
    static double median(double* x, std::size_t k) {
        const std::size_t mid = k / 2;
        const double upper = nth_smallest(x, k, mid);
        if (k % 2 == 1)
            return upper;
        return (*std::max_element(x, x + mid) + upper) / 2; // x[0 .. mid) hold the smaller ones
    }

    // The nth smallest of the finite values x[0 .. k), leaving the smaller ones before x[nth]:
    // a quickselect whose partitions take no branch on the values (noisy values make the
    // branches of std::nth_element's partition unpredictable, three times slower here).
    static double nth_smallest(double* x, std::size_t k, std::size_t nth) {
        std::size_t lo = 0, hi = k; // the answer lies in [lo, hi)
        for (int round = 0; hi - lo > 16; ++round) {
            if (round == 64) { // an unlucky run of pivots
                std::nth_element(x + lo, x + nth, x + hi);
                return x[nth];
            }
            const double a = x[lo], b = x[lo + (hi - lo) / 2], c = x[hi - 1];
            const double pivot = std::max(std::min(a, b), std::min(std::max(a, b), c));
            // [lo, below) < pivot, then [below, equal) == pivot, then the larger ones.
            std::size_t below = lo;
            for (std::size_t j = lo; j < hi; ++j) {
                const double v = x[j];
                x[j] = x[below];
                x[below] = v;
                below += v < pivot;
            }
            if (nth < below) {
                hi = below;
                continue;
            }
            std::size_t equal = below;
            for (std::size_t j = below; j < hi; ++j) {
                const double v = x[j];
                x[j] = x[equal];
                x[equal] = v;
                equal += !(pivot < v);
            }
            if (nth < equal)
                return pivot;
            lo = equal; // the pivot is one of the values: every round narrows the range
        }
        for (std::size_t i = lo + 1; i < hi; ++i) { // insertion sort of what is left
            const double v = x[i];
            std::size_t j = i;
            for (; j > lo && x[j - 1] > v; --j)
                x[j] = x[j - 1];
            x[j] = v;
        }
        return x[nth];
    }
};

} // namespace

ProductTable bin_products(const ProductTable& t, const ProcessingOptions::Binning& b) {
    if (b.kind == BinKind::None)
        return t;
    if (t.binned())
        throw VelmoraError("The values are binned already.");
    if (!(b.width > 0) || !std::isfinite(b.width))
        throw VelmoraError("The bin width must be positive.");
    const std::size_t records = t.rows();
    bool sizes_match = t.a.size() == records * t.a_channels() &&
                       t.c.size() == records * t.c_channels() &&
                       (t.a_flags.empty() || t.a_flags.size() == t.a.size()) &&
                       (t.c_flags.empty() || t.c_flags.size() == t.c.size());
    for (const std::vector<double>* col :
         {&t.temperature, &t.salinity, &t.pressure, &t.lat, &t.lon, &t.dT})
        sizes_match = sizes_match && (col->empty() || col->size() == records);
    if (!sizes_match)
        throw VelmoraError("The product table's columns do not match its rows.");

    ProductTable out;
    out.a_wavelengths = t.a_wavelengths;
    out.c_wavelengths = t.c_wavelengths;
    out.common_grid = t.common_grid;
    out.start_utc = t.start_utc;
    out.info = t.info;
    out.bin_kind = b.kind;

    double origin = 0.0;
    const double width_ms = b.width * 1000.0;
    const std::vector<Bin> bins = b.kind == BinKind::Time ? time_bins(t, width_ms, origin)
                                                          : depth_bins(t, b.width, b.direction);

    const std::size_t na = t.a_channels(), nc = t.c_channels(), rows = bins.size();
    out.a.resize(rows * na);
    out.a_sd.resize(rows * na);
    out.a_n.resize(rows * na);
    out.c.resize(rows * nc);
    out.c_sd.resize(rows * nc);
    out.c_n.resize(rows * nc);
    const bool flagged = !t.a_flags.empty() && !t.c_flags.empty();
    if (flagged) {
        out.a_flags.resize(rows * na);
        out.c_flags.resize(rows * nc);
        out.qc_window_lo = t.qc_window_lo;
        out.qc_window_hi = t.qc_window_hi;
    }
    const Matrix a{t.a, t.a_flags, na};
    const Matrix c{t.c, t.c_flags, nc};
    // The bins shared out over the processors, each thread with its own scratch room.
    std::size_t parts = 1;
    if (records >= parallel::tuning().min_part_records)
        parts = std::max<std::size_t>(1, std::min<std::size_t>(parallel::thread_count(), rows));
    const auto errors = parallel::run_all(parts, [&](std::size_t k) {
        Statistics stats(b);
        for (std::size_t r = k * rows / parts; r < (k + 1) * rows / parts; ++r) {
            stats.row(a, bins[r], &out.a[r * na], &out.a_sd[r * na], &out.a_n[r * na],
                      flagged ? &out.a_flags[r * na] : nullptr);
            stats.row(c, bins[r], &out.c[r * nc], &out.c_sd[r * nc], &out.c_n[r * nc],
                      flagged ? &out.c_flags[r * nc] : nullptr);
        }
    });
    for (const std::exception_ptr& e : errors)
        if (e)
            std::rethrow_exception(e);

    // The averaged columns that the table has.
    struct Averaged {
        const std::vector<double>& in;
        std::vector<double>& out;
    };
    const Averaged averaged[] = {{t.temperature, out.temperature},
                                 {t.salinity, out.salinity},
                                 {t.pressure, out.pressure},
                                 {t.lat, out.lat},
                                 {t.lon, out.lon},
                                 {t.dT, out.dT}};
    for (const Bin& bin : bins) {
        if (b.kind == BinKind::Time) {
            out.time.push_back(origin + (bin.k + 0.5) * width_ms);
        } else {
            out.time.push_back(mean_of(t.time, bin));
            out.depth.push_back((bin.k + 0.5) * b.width);
        }
        out.n.push_back(static_cast<int>(bin.records.size()));
        for (const Averaged& col : averaged)
            if (!col.in.empty())
                col.out.push_back(&col.in == &t.lon ? mean_longitude(t.lon, bin)
                                                    : mean_of(col.in, bin));
    }
    if (flagged)
        record_flags_of_values(out);
    return out;
}
