// Every correction and processing option in one value: what the acquisition preview, the
// post-processing panel, the selected-data window and `velmora-cli correct` set on a data set,
// read back from it, and keep as a processing recipe (JSON).  The panels' list indices and the
// reference-wavelength stepping are mapped here and nowhere else.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "velmora_error.h"

class HYP_Data;

// The codes are those the data set's fields have always held (and the header sentences use).
enum class ScatMethod : std::int32_t {
    Baseline = 1,
    Proportional = 2,
    FractionOfB = 3,
    ResidualTemp = 4, // residual temperature and scattering, on a common grid only
};
enum class TempSource : std::int32_t { Constant = 1, CTD = 2, Onboard = 3, Fitted = 4 };
enum class SalnSource : std::int32_t { Constant = 1, CTD = 2, Onboard = 3, Fitted = 4 };
// What the CTD log's time column holds: ms in the records' time base, seconds since the first
// record, UTC seconds since 1970, one ISO field, or a date field and a time-of-day field.
enum class CtdTimeFormat : std::int32_t { Ms, Seconds, Epoch, Iso, DateTime };
// The wavelengths the corrected values are given on.
enum class GridKind : std::int32_t { Native, OntoA, Regular };
enum class BinKind : std::int32_t { None, Time, Depth };
enum class CastDirection : std::int32_t { Both, Down, Up };
enum class BinStat : std::int32_t { Median, Mean };
enum class InstrumentType : std::int32_t { None = 0, HYP = 1, FLW = 2, Processed = 4 };

// The names a recipe and the command line use: "baseline", "proportional", "fraction";
// "constant", "ctd", "onboard", "fitted".  An unknown name gives nothing.
std::string_view name_of(ScatMethod m);
std::string_view name_of(TempSource s);
std::string_view name_of(SalnSource s);
std::optional<ScatMethod> scat_method_named(std::string_view name);
std::optional<TempSource> temp_source_named(std::string_view name);
std::optional<SalnSource> saln_source_named(std::string_view name);
// "residual-temp" names ScatMethod::ResidualTemp; the CTD time formats are "ms", "s", "epoch",
// "iso" and "date-time".
std::string_view name_of(CtdTimeFormat f);
std::optional<CtdTimeFormat> ctd_time_format_named(std::string_view name);

// A recipe that cannot be used: an unknown key, a value of the wrong kind, text that is not
// JSON.  The command line treats it as a usage error.
class RecipeError : public VelmoraError {
  public:
    using VelmoraError::VelmoraError;
};

struct ProcessingOptions {
    struct Temperature {
        TempSource source = TempSource::Constant;
        double constant = 21.0; // degrees C
        bool apply = false;
        bool operator==(const Temperature&) const = default;
    };
    struct Salinity {
        SalnSource source = SalnSource::Constant;
        double constant = 17.0; // PSU
        bool apply = false;
        bool operator==(const Salinity&) const = default;
    };
    // 1-based field numbers of the CTD log.
    struct CtdColumns {
        int time = 1, pressure = 2, temperature = 3, salinity = 5;
        bool operator==(const CtdColumns&) const = default;
    };
    // Input files are loaded by the caller (the command line, the panel's buttons); apply_to
    // only sets the switches.  Empty: none.
    struct Ctd {
        std::string file;
        CtdColumns columns;
        CtdTimeFormat time_format = CtdTimeFormat::Ms;
        double lag_s = 0.0; // added to every CTD time before the merge
        // A record whose merged sample is further away gets NaN temperature, salinity and
        // pressure.  Unset: 60 s with a clock-time format, no limit with ms and s.
        std::optional<double> max_gap_s;
        bool operator==(const Ctd&) const = default;
    };
    struct Gps {
        std::string file; // NMEA 0183 log; empty: none
        bool operator==(const Gps&) const = default;
    };
    struct Grid {
        GridKind kind = GridKind::Native;
        double start = 0.0, stop = 0.0, step = 0.0; // nm, Regular only
        bool operator==(const Grid&) const = default;
    };
    struct Water {
        std::string file;
        bool apply = false;
        bool operator==(const Water&) const = default;
    };
    struct Scattering {
        bool apply = false;
        ScatMethod method = ScatMethod::Proportional;
        double reference_nm = 715.0; // requested; the nearest channel is used
        bool no_negative = false;
        // The residual temperature correction's reference and fitting window, nm.
        struct Residual {
            double reference_nm = 730.0;
            double window_lo = 700.0, window_hi = 750.0;
            bool operator==(const Residual&) const = default;
        };
        Residual residual;
        bool operator==(const Scattering&) const = default;
    };
    // Quality-control flags (1 pass, 2 not evaluated, 3 suspect, 4 fail, 9 missing).
    struct Qc {
        bool apply = false;
        double range_min = -0.05, range_max = 15.0;         // 1/m
        double spike_suspect = 0.02, spike_fail = 0.05;     // 1/m
        double flat_eps = 1e-6;                             // 1/m
        int flat_suspect = 20, flat_fail = 60;              // records
        double neg_b_suspect = -0.01, neg_b_fail = -0.05;   // 1/m
        double gap_factor = 4.0;                            // times the median time step
        double residual_suspect = 1.0, residual_fail = 3.0; // degrees C
        double window_lo = 400.0, window_hi = 700.0;        // nm, for the record flag
        bool operator==(const Qc&) const = default;
        // What is wrong with the thresholds taken together (a suspect threshold past its fail
        // threshold, a range or window the wrong way round), or empty.
        std::string inconsistency() const;
    };
    struct Binning {
        BinKind kind = BinKind::None;
        double width = 0.0; // s for time bins, m for depth bins
        CastDirection direction = CastDirection::Both;
        BinStat stat = BinStat::Median;
        int min_count = 3;
        bool exclude_suspect = false;
        bool operator==(const Binning&) const = default;
    };
    struct Output {
        bool chl_column = false;
        // The files written: the text file, and beside it OUT's stem with .nc and .sb.
        bool text = true, netcdf = false, seabass = false;
        bool operator==(const Output&) const = default;
    };

    Temperature temperature;
    Salinity salinity;
    Ctd ctd;
    Water water;
    Scattering scattering;
    Gps gps;
    Grid grid;
    Qc qc;
    Binning binning;
    Output output;
    // Archive metadata (SeaBASS header keywords, NetCDF global attributes), by name.
    std::map<std::string, std::string> metadata;

    bool operator==(const ProcessingOptions&) const = default;

    // Sets the data set's sources, constants, switches and scattering method, and its
    // scattering reference through set_scat_ref; returns the a wavelength actually chosen.
    // Refuses (VelmoraError, nothing changed) the onboard temperature source for a data set
    // that holds no onboard temperature.
    double apply_to(HYP_Data& d) const;
    // The options a data set holds.  The reference wavelength is that of the chosen a channel
    // (the default while none is chosen); the CTD and water files are those merged and loaded;
    // codes outside the named ones (a new data set's scattering method 0) read as the defaults.
    // The CTD columns and the ChlA column are not kept by the data set and stay at the defaults.
    static ProcessingOptions from(const HYP_Data& d);

    // --- The panels' lists and fields ---------------------------------------------------------
    // The scattering list of both panels: 0 "Proportional Correction", 1 "Baseline Correction",
    // 2 "Percentage of b (14%)"; any other index keeps `current`.
    static ScatMethod method_for_list_index(int index, ScatMethod current);
    static int list_index_for_method(ScatMethod m);
    // The up/down buttons of the reference wavelength: the a wavelength one channel above or
    // below channel `ref_index` (the data set's scat_ref_a), the same one at either end;
    // nothing when `ref_index` is not a channel.
    static std::optional<double> stepped_reference(const std::vector<double>& a_wavelengths,
                                                   std::uint32_t ref_index, bool up);
    // A wavelength as the reference field shows it: shortest general form (715.5, 716).
    static std::string wavelength_text(double nm);

    // --- Processing recipe (JSON) ---------------------------------------------------------------
    // Keys, all optional (a missing key keeps the value it has):
    //   velmora_recipe: 1
    //   temperature: {source: "constant"|"ctd"|"onboard"|"fitted", constant: C, apply: bool}
    //   salinity:    {source: as temperature, constant: PSU, apply: bool}
    //   ctd:         {file: "path", columns: {time: N, pressure: N, temperature: N, salinity: N}}
    //   water:       {file: "path", apply: bool}
    //   scattering:  {apply: bool, method: "proportional"|"baseline"|"fraction",
    //                 reference_nm: NM, no_negative: bool}
    //   output:      {chl_column: bool}
    // Paths are taken as given (relative to the working folder).  An unknown key raises
    // RecipeError "Unknown recipe key: KEY", KEY with its section ("scattering.methd").
    std::string to_json() const;
    void read_json(std::string_view text);
    // Files; a file that cannot be read or written raises VelmoraError, a recipe that cannot be
    // used RecipeError.
    void read_recipe(const std::string& path);
    void save_recipe(const std::string& path) const;
};
