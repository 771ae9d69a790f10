#include "time_lag.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

// Finite points sorted by time.
TimeSeries cleaned(const TimeSeries& s) {
    const std::size_t n = std::min(s.time.size(), s.value.size());
    std::vector<std::size_t> order;
    order.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        if (std::isfinite(s.time[i]) && std::isfinite(s.value[i]))
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return s.time[a] < s.time[b]; });
    TimeSeries out;
    out.time.reserve(order.size());
    out.value.reserve(order.size());
    for (std::size_t i : order) {
        out.time.push_back(s.time[i]);
        out.value.push_back(s.value[i]);
    }
    return out;
}

double medianStep(const std::vector<double>& t) {
    if (t.size() < 2)
        return 0.0;
    std::vector<double> d;
    d.reserve(t.size() - 1);
    for (std::size_t i = 1; i < t.size(); ++i)
        if (t[i] > t[i - 1])
            d.push_back(t[i] - t[i - 1]);
    if (d.empty())
        return 0.0;
    std::nth_element(d.begin(), d.begin() + d.size() / 2, d.end());
    return d[d.size() / 2];
}

// Correlation on series already cleaned.
double correlation(const TimeSeries& a, const TimeSeries& b, double lag, int* overlap) {
    double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    int n = 0;
    std::size_t j = 0;
    const std::size_t nb = b.time.size();
    if (nb >= 2) {
        for (std::size_t i = 0; i < a.time.size(); ++i) {
            const double t = a.time[i] - lag;
            if (t < b.time.front() || t > b.time.back())
                continue;
            while (j + 1 < nb && b.time[j + 1] < t)
                ++j;
            const std::size_t k = std::min(j + 1, nb - 1);
            const double t0 = b.time[j], t1 = b.time[k];
            const double y = t1 > t0 ? b.value[j] + (b.value[k] - b.value[j]) * (t - t0) / (t1 - t0)
                                     : b.value[j];
            const double x = a.value[i];
            sx += x;
            sy += y;
            sxx += x * x;
            syy += y * y;
            sxy += x * y;
            ++n;
        }
    }
    if (overlap)
        *overlap = n;
    if (n < 3)
        return std::numeric_limits<double>::quiet_NaN();
    const double cov = sxy - sx * sy / n;
    const double vx = sxx - sx * sx / n;
    const double vy = syy - sy * sy / n;
    if (vx <= 0 || vy <= 0)
        return std::numeric_limits<double>::quiet_NaN();
    return cov / std::sqrt(vx * vy);
}

} // namespace

double lag_correlation(const TimeSeries& first, const TimeSeries& second, double lag_ms,
                       int* overlap) {
    return correlation(cleaned(first), cleaned(second), lag_ms, overlap);
}

LagEstimate estimate_lag(const TimeSeries& first, const TimeSeries& second, double min_ms,
                         double max_ms) {
    LagEstimate best;
    if (!(max_ms >= min_ms) || !std::isfinite(min_ms) || !std::isfinite(max_ms))
        return best;
    const TimeSeries a = cleaned(first);
    const TimeSeries b = cleaned(second);
    // A quarter of the finer sampling interval, and no more than 4000 steps over the window.
    double step = std::min(medianStep(a.time), medianStep(b.time));
    if (step <= 0)
        step = std::max(medianStep(a.time), medianStep(b.time));
    step = step > 0 ? step / 4.0 : 1.0;
    step = std::max(step, (max_ms - min_ms) / 4000.0);
    if (step <= 0)
        step = 1.0;
    const int steps = static_cast<int>(std::floor((max_ms - min_ms) / step + 1e-9));
    std::vector<double> r(static_cast<std::size_t>(steps) + 1,
                          std::numeric_limits<double>::quiet_NaN());
    int bestIndex = -1;
    for (int s = 0; s <= steps; ++s) {
        int overlap = 0;
        r[s] = correlation(a, b, min_ms + s * step, &overlap);
        if (std::isfinite(r[s]) && (bestIndex < 0 || r[s] > r[bestIndex])) {
            bestIndex = s;
            best.overlap = overlap;
        }
    }
    if (bestIndex < 0)
        return best;
    best.found = true;
    best.correlation = r[bestIndex];
    best.lag_ms = min_ms + bestIndex * step;
    // Between grid steps: the vertex of the parabola through the peak and its neighbours.
    if (bestIndex > 0 && bestIndex < steps && std::isfinite(r[bestIndex - 1]) &&
        std::isfinite(r[bestIndex + 1])) {
        const double l = r[bestIndex - 1], m = r[bestIndex], h = r[bestIndex + 1];
        const double denom = l - 2 * m + h;
        if (denom < 0) {
            const double offset = 0.5 * (l - h) / denom;
            if (std::fabs(offset) < 1.0)
                best.lag_ms = std::clamp(best.lag_ms + offset * step, min_ms, max_ms);
        }
    }
    return best;
}
