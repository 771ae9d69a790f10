// Lining up two time series: the lag of the second series that best matches the first.
#pragma once

#include <vector>

struct TimeSeries {
    std::vector<double> time;  // ms
    std::vector<double> value; // same length as time
};

struct LagEstimate {
    bool found = false;       // false when the series do not overlap for any lag
    double lag_ms = 0.0;      // shift to add to the second series' times
    double correlation = 0.0; // Pearson correlation at that lag
    int overlap = 0;          // points of the first series compared at that lag
};

// Finds the lag L in [min_ms, max_ms] that maximises the correlation of first(t) with
// second(t - L), the second series linearly interpolated at the first series' times.  Points
// that are not finite are ignored.  Needs at least 3 overlapping points.
LagEstimate estimate_lag(const TimeSeries& first, const TimeSeries& second, double min_ms,
                         double max_ms);

// Pearson correlation of first(t) with second(t - lag); NaN when fewer than 3 points overlap.
double lag_correlation(const TimeSeries& first, const TimeSeries& second, double lag_ms,
                       int* overlap = nullptr);
