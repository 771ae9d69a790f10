// The element of a list nearest to a value: channels nearest to a wavelength, records nearest
// to a time.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

// Index of the element whose key is nearest to `value`; the first of equal distances wins.
// 0 for an empty list.
template <typename T, typename Key>
std::size_t nearest_index(const std::vector<T>& list, double value, Key key) {
    std::size_t best = 0;
    double best_distance = 0.0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const double d = std::fabs(static_cast<double>(key(list[i])) - value);
        if (i == 0 || d < best_distance) {
            best_distance = d;
            best = i;
        }
    }
    return best;
}

inline std::size_t nearest_index(const std::vector<double>& list, double value) {
    return nearest_index(list, value, [](double x) { return x; });
}
