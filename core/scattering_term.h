// The scattering term of the three legacy scattering corrections, shared by the record
// correction engine and the processed products (which apply it on a wavelength grid).
#pragma once

// The fixed fraction of b of method 3 ("Percentage of b (14%)").
inline constexpr double kScatFraction = 0.14;

// Scattering term of channel i from the values corrected so far: method 1 baseline, 2
// proportional, 3 fixed fraction of b; any other method none.
inline double scattering_term(int method, double a_i, double c_i, double a_ra, double c_rc) {
    switch (method) {
    case 1:
        return a_ra;
    case 2:
        return a_ra * (c_i - a_i) / (c_rc - a_ra);
    case 3:
        // A fixed fraction of b = c - a is scattering, removed from a.
        return kScatFraction * (c_i - a_i);
    default:
        return 0.0;
    }
}
