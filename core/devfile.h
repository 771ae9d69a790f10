// The instrument's device file: serial number, line speed, channel wavelengths, clean-water
// offsets and per-channel temperature adjustments over a set of temperature bins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "velmora_error.h"

class devfile {
  public:
    std::uint32_t serial_number = 0;
    std::int32_t line3_value = 0;
    float factory_cal_temp = 0.0f; // degrees C
    std::int32_t baud_rate = 0;    // bit/s
    std::uint32_t num_tempbins = 0;
    float line5_values[2] = {0.0f, 0.0f};
    std::string type_word;
    std::string file_path;
    double path_length = 0.0; // m
    bool factory_cal_unparsed = false;
    std::vector<double> temp_bins;  // degrees C, file order
    std::vector<std::string> lines; // every line read, in order
    std::int32_t is_flw = 0;
    std::vector<double> temp_adjustments_a; // channel-major: channel * num_tempbins + bin
    std::vector<double> temp_adjustments_c;
    std::vector<double> file_temp_a; // FLW: file order
    std::vector<double> file_temp_c;
    std::vector<double> c_wl; // nm (FLW: ascending)
    std::vector<double> a_wl;
    std::vector<std::int32_t> a_order; // FLW: ascending position -> file-order index
    std::vector<std::int32_t> c_order;
    std::vector<double> file_c_wl;
    std::vector<double> file_a_wl;
    std::vector<double> c_offsets; // 1/m, in c_wl order
    std::vector<double> a_offsets;
    std::vector<double> file_a_offsets;
    std::vector<double> file_c_offsets;
    std::vector<bool> channel_is_a; // FLW: per channel line in file order

    // Reads the device file at `path`; raises VelmoraError with the user-facing text.
    void parse(const std::string& path);
    // Adjustment (1/m) of one channel (a_wl / c_wl order) at `temperature` degrees C.
    // Below the first bin the first bin's value, at or above the last bin the last bin's value.
    double temp_adjustment(bool is_a, int channel, double temperature) const;

    // Where a temperature falls among the bins.  The decoders convert every channel of a record
    // at one temperature, so they locate it once and interpolate per channel; the result is
    // bit for bit that of temp_adjustment.
    struct TempPosition {
        std::size_t index = 0; // bin of the value, or the lower of the two enclosing bins
        double fraction = 0.0; // (T - lo) / (hi - lo) when interpolating
        bool interpolate = false;
    };
    TempPosition locate_temperature(double temperature) const;
    double temp_adjustment_at(bool is_a, int channel, const TempPosition& pos) const;

    // Channel count of the parsed file (the HYP wavelength count, 9 for FLW).
    std::size_t channel_count() const { return a_wl.size(); }
};

enum class DeviceKind { Neither, HYP, FLW };

// Classifies a device file by the first three characters of its first line, ignoring case.
DeviceKind peek_device_kind(const std::string& path);
