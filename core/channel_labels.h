// The channel labels of the files Velmora writes (corrected and water calibration files):
// "c<nm>" for every attenuation channel, then "a<nm>" for every absorption channel, each
// followed by a tab.
#pragma once

#include <string>
#include <vector>

#include "text.h"

inline void append_channel_labels(std::string& line, const std::vector<double>& c_wavelengths,
                                  const std::vector<double>& a_wavelengths) {
    for (const double wl : c_wavelengths) {
        line += 'c';
        text::append_g(line, wl, 6);
        line += '\t';
    }
    for (const double wl : a_wavelengths) {
        line += 'a';
        text::append_g(line, wl, 6);
        line += '\t';
    }
}
