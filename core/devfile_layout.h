// Where each line of a device file sits.  The parser reads the lines in this order, and the
// writers that copy a device file's lines (data file headers, the device file rebuilt from a
// selection) find them again at these positions.  Positions count from 0.
//
// HYP: 10 header lines (model, serial number, line 3, factory calibration temperature, line 5,
// line speed, path length, wavelength count, bin count, bins), one line per wavelength, then two
// trailing lines.  FLW: the same header without the wavelength count (9 lines), 18 channel
// lines, then two trailing lines.
#pragma once

#include <cstddef>

namespace devfile_layout {

// The FLW measures nine a and nine c channels; its device file lists them in one block.
constexpr std::size_t flw_channels_per_kind = 9;
constexpr std::size_t flw_channel_lines = 2 * flw_channels_per_kind;

constexpr std::size_t hyp_header_lines = 10;
constexpr std::size_t flw_header_lines = 9;
constexpr std::size_t trailing_lines = 2;

// The line of HYP wavelength j and of FLW channel line j.
constexpr std::size_t hyp_channel_line(std::size_t j) {
    return hyp_header_lines + j;
}
constexpr std::size_t flw_channel_line(std::size_t j) {
    return flw_header_lines + j;
}

// The first trailing line, right after the channel lines.
constexpr std::size_t hyp_first_trailing_line(std::size_t wavelengths) {
    return hyp_channel_line(wavelengths);
}
constexpr std::size_t flw_first_trailing_line = flw_channel_line(flw_channel_lines);

// Lines of a whole device file.
constexpr std::size_t hyp_line_count(std::size_t wavelengths) {
    return hyp_first_trailing_line(wavelengths) + trailing_lines;
}
constexpr std::size_t flw_line_count = flw_first_trailing_line + trailing_lines;

// A data file's header copies the device file's lines through the first trailing line (HYP;
// the second becomes the file's own label line) or all of them (FLW).
constexpr std::size_t hyp_data_header_lines(std::size_t wavelengths) {
    return hyp_first_trailing_line(wavelengths) + 1;
}
constexpr std::size_t flw_data_header_lines = flw_line_count;

static_assert(flw_first_trailing_line == 27 && flw_line_count == 29);
static_assert(hyp_channel_line(0) == 10 && hyp_line_count(85) == 97);

} // namespace devfile_layout
