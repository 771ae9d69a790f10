// The arithmetic of the processed products, open to the tests: linear interpolation onto a
// wavelength grid and the residual temperature correction.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "processing_options.h"

struct ts_coef;

namespace products_detail {

// A grid point between two source channels: v = v[lower] + (v[upper] - v[lower]) * weight.
struct GridPoint {
    std::size_t lower = 0, upper = 0;
    double weight = 0.0;
};

// Where every wavelength of `to` lies among those of `from`; `inside` false for a point outside
// the range of `from` (never extrapolated).
struct GridMap {
    std::vector<GridPoint> points;
    std::vector<bool> inside;
};
GridMap map_onto(const std::vector<double>& from, const std::vector<double>& to);
double interpolate(const double* values, const GridPoint& p);

// ΔT minimising Σ |r_i − s_i ΔT|: the weighted median of the ratios (r_i / s_i, |s_i|); sorts the
// list.  0 for an empty list.
double weighted_median_dt(std::vector<std::pair<double, double>>& ratio_weight);

// The window channels, the reference point and ψ on a common grid.  Refuses a window with fewer
// than 3 channels and a reference outside the grid.
struct ResidualSetup {
    std::vector<std::size_t> window;
    GridPoint ref;
    std::vector<double> psi;
    double psi_ref = 0.0;
};
ResidualSetup residual_setup(const std::vector<double>& grid, const std::vector<double>& psi,
                             const ProcessingOptions::Scattering::Residual& r);
// Corrects one record's a and c (n channels of the grid) in place and returns its ΔT; NaN
// everywhere when b at the reference is not positive.  `scratch` is working storage.
double residual_correct(const ResidualSetup& s, double* a, double* c, std::size_t n,
                        std::vector<std::pair<double, double>>& scratch);

// ψ_T of an a channel at this wavelength, from the row the temperature correction chooses.
double psi_t_at(const std::vector<ts_coef>& table, double wavelength);

} // namespace products_detail
