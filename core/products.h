// The processed products of a data set: the corrected values on their wavelength grid, with
// the residual temperature, QC flags and bins when asked for, in one table that every output
// format (text, NetCDF, SeaBASS) writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "processing_options.h"

class HYP_Data;

// QC flag values.
namespace qc_flag {
constexpr std::uint8_t kPass = 1, kNotEvaluated = 2, kSuspect = 3, kFail = 4, kMissing = 9;
}

// Where the values came from and what was done to them: what the archive formats describe.
struct ProductInfo {
    std::string instrument; // "HYP" or "FLW"
    std::int32_t serial_number = 0;
    std::string input_file, device_file, water_file, ctd_file, gps_file;
    // The corrected file's header sentences that say what was applied (temperature source,
    // corrections, scattering), non-empty ones in header order.
    std::vector<std::string> corrections;
    std::string processing;  // the sentence after "Processing: " (empty: legacy steps only)
    std::string recipe_json; // the effective options, one line
    std::map<std::string, std::string> metadata;
};

// One row per record, or per bin when binned.  Matrices are rows × channels, row by row.
// Optional columns are empty when absent, else hold one value per row.
struct ProductTable {
    std::vector<double> a_wavelengths, c_wavelengths; // equal on a common grid
    bool common_grid = false;
    std::optional<std::int64_t> start_utc; // ms since 1970, of time 0
    std::vector<double> time;              // ms in the records' time base
    std::vector<double> a, c;

    std::vector<double> temperature, salinity, pressure; // merged CTD
    std::vector<double> lat, lon;                        // merged GPS
    std::vector<double> chl;                             // ChlA ratio
    std::vector<double> dT;                              // residual temperature, degrees C
    // The scattering reference channel chosen on a common grid (legacy methods only).
    std::optional<double> scat_ref_nm;

    // QC (empty without).
    std::vector<std::uint8_t> a_flags, c_flags; // per value
    std::vector<std::uint8_t> flag;             // per row
    // The wavelengths (nm) whose values make the row's flag.
    double qc_window_lo = 400.0, qc_window_hi = 700.0;

    // Bins (empty without).
    BinKind bin_kind = BinKind::None;
    std::vector<double> depth;      // depth bins: the bin centre, m
    std::vector<int> n;             // records in the bin
    std::vector<double> a_sd, c_sd; // standard deviations
    std::vector<int> a_n, c_n;      // values counted per value column

    ProductInfo info;

    std::size_t rows() const { return time.size(); }
    std::size_t a_channels() const { return a_wavelengths.size(); }
    std::size_t c_channels() const { return c_wavelengths.size(); }
    bool has_ctd() const { return !temperature.empty(); }
    bool has_gps() const { return !lat.empty(); }
    bool has_qc() const { return !flag.empty(); }
    bool binned() const { return bin_kind != BinKind::None; }
};

// Why the residual temperature correction cannot run on the native wavelengths.
inline constexpr const char* kResidualNeedsGrid =
    "The residual temperature correction needs a common wavelength grid (--grid a).";

// Whether the options ask for any step beyond the corrections every Velmora writes (grid,
// residual temperature, QC, binning): without one, the corrected text file is written exactly
// as it always has been.
bool uses_products(const ProcessingOptions& o);

// The wavelengths a grid puts a and c on for these channel lists: the grid's points inside both
// ranges (none for the native grid).
std::vector<double> grid_wavelengths(const std::vector<double>& a_wavelengths,
                                     const std::vector<double>& c_wavelengths,
                                     const ProcessingOptions::Grid& g);

// The table of a loaded data set whose corrections are set (ProcessingOptions::apply_to, CTD
// and GPS merged): the corrections per channel, the grid, the scattering correction, QC, bins.
// Refuses (VelmoraError) what the options cannot do for this data set.
ProductTable make_products(HYP_Data& d, const ProcessingOptions& o);

// QC flags on a table's final values, in record order (before binning).
void apply_qc(ProductTable& t, const ProcessingOptions::Qc& q);
// Each row's flag from the flags of its values in the table's QC window: 4 when one of them
// is 4; else 3 when one is 3 or 9; else 1 when one is 1; else 2.
void record_flags_of_values(ProductTable& t);

// The bins of an unbinned table (flags, when present, choose the values left out).  The ChlA
// column is left empty: make_products computes it from the binned a and c.  With flags, each
// binned value gets one too: 9 when too few values were left to give it, else 3 when a suspect
// value went into it, else 1 when a passed one did, else 2; and each bin the flag of its values
// in the QC window.
ProductTable bin_products(const ProductTable& t, const ProcessingOptions::Binning& b);

// File names of the outputs beside the text file OUT: OUT's stem with `suffix` and `ext`
// ("cast_corrected.txt", "_flags" -> "cast_corrected_flags.txt"; "", ".nc" -> "cast_corrected.nc").
std::string sibling_path(const std::string& out, const std::string& suffix, const std::string& ext);
