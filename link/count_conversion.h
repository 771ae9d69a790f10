// The one conversion from an instrument's detector counts to absorption (a) or attenuation (c),
// shared by both readers: the clean-water offset, minus the natural log of the signal/reference
// ratio over the optical path, plus the channel's adjustment for the internal temperature.
#pragma once

#include <cmath>

namespace counts {

// A reference of zero or less counts (a dark or dead reference detector) is taken as 100 counts.
constexpr double reference_floor = 100.0;
// A ratio is held at 0.0005 or above, so a dark signal gives a large finite value, not infinity.
constexpr double ratio_floor = 0.0005;
// The HYP's optical path is 0.25 m; its device file's path length is not used.
constexpr double hyp_inverse_path = 1.0 / 0.25;

// The signal/reference ratio of one channel, with the reference and ratio floors applied.
inline double floored_ratio(double signal, double reference) {
    if (!(reference > 0))
        reference = reference_floor;
    const double ratio = signal / reference;
    return ratio < ratio_floor ? ratio_floor : ratio;
}

// a or c (1/m) from the natural log of that ratio; `inverse_path` in 1/m.
inline double from_log_ratio(double log_ratio, double offset, double inverse_path,
                             double temp_adjustment) {
    return offset - log_ratio * inverse_path + temp_adjustment;
}

// a or c (1/m) of one channel from its signal and reference counts; `inverse_path` in 1/m.
inline double to_coefficient(double signal, double reference, double offset, double inverse_path,
                             double temp_adjustment) {
    return from_log_ratio(std::log(floored_ratio(signal, reference)), offset, inverse_path,
                          temp_adjustment);
}

} // namespace counts
