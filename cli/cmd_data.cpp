// The post-processing subcommands of velmora-cli: info, correct, water and devfile.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "args.h"
#include "clock_time.h"
#include "commands.h"
#include "devfile.h"
#include "file_lines.h"
#include "file_messages.h"
#include "gps.h"
#include "hyp_data.h"
#include "outputs.h"
#include "processing_options.h"
#include "product_text.h"
#include "products.h"
#include "record_selection.h"
#include "seabass.h"
#include "text.h"
#include "time_stamp.h"

namespace {

using cli::Args;
using cli::UsageError;

// Splits "a,b,c" (or "a:b:c") into its items.
std::vector<std::string> split_on(const std::string& s, char separator) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = s.find(separator, start);
        items.push_back(s.substr(start, at - start));
        if (at == std::string::npos)
            return items;
        start = at + 1;
    }
}

std::vector<std::string> split_commas(const std::string& s) {
    return split_on(s, ',');
}

// ---------------------------------------------------------------------------------------------
// Correction options, shared by correct and devfile.

const cli::OptionGroup kCorrectionOptions{
    "Correction options:",
    {
        {"--ctd", "FILE", "merge this CTD log by time"},
        {"--ctd-columns", "T,P,TEMP,S",
         "1-based columns of time, pressure, temperature and salinity\n(default 1,2,3,5)"},
        {"--ctd-time", "FORMAT",
         "what the CTD time column holds: ms (default), s since the first\n"
         "record, or UTC clock times: epoch (s since 1970), iso\n"
         "(2024-03-15T12:00:30.250Z) or date-time (two columns:\n"
         "2024-03-15 or 03/15/2024, then 12:00:30.250)"},
        {"--ctd-lag", "SECONDS", "added to every CTD time before the merge (default 0)"},
        {"--ctd-max-gap", "SECONDS",
         "records with no CTD sample this close get NaN temperature,\n"
         "salinity and pressure (default 60 with clock times, else no limit)"},
        {"--gps", "LOG",
         "merge positions from this NMEA 0183 log by clock time (needs the\n"
         "data set's start time)"},
        {"--water", "FILE", "water calibration (.wcf) or a data file taken in pure water"},
        {"--temp-source", "SRC", "constant, ctd or onboard (default constant)"},
        {"--temp", "C", "constant temperature, degrees C (default 21)"},
        {"--saln-source", "SRC", "constant or ctd (default constant)"},
        {"--saln", "PSU", "constant salinity (default 17)"},
        {"--apply", "LIST", "comma-separated subset of temp,saln,water,scat (default none)"},
        {"--scat-method", "M",
         "proportional, baseline, fraction or residual-temp (default\n"
         "proportional; residual-temp needs --grid, correct only)"},
        {"--scat-ref", "NM", "scattering reference wavelength (default 715)"},
        {"--scat-no-negative", nullptr,
         "leave out scattering terms that are negative at the reference"},
    }};

// Water temperatures and salinities the corrections are meant for.
constexpr double kTempRange[2] = {-2.0, 40.0};
constexpr double kSalnRange[2] = {0.0, 45.0};

// The options of the command line on top of those of a recipe (--recipe), on top of the
// defaults: an option given on the command line wins.
ProcessingOptions read_corrections(const Args& a) {
    ProcessingOptions o;
    if (a.has("--recipe")) {
        const std::string& recipe = a.get("--recipe");
        cli::check_input(recipe);
        try {
            o.read_recipe(recipe);
        } catch (const RecipeError& e) {
            throw UsageError{cli::about(recipe, e.what())};
        } catch (const VelmoraError& e) {
            throw VelmoraError(cli::about(recipe, e.what()));
        }
        // Constants from a recipe are held to the ranges of the options.
        auto in_range = [&](const char* key, double v, const double(&range)[2], const char* unit) {
            if (!(v >= range[0] && v <= range[1]))
                throw UsageError{cli::about(recipe, std::string("Recipe key ") + key + " " +
                                                        text::format_g(v, 6) + " is outside " +
                                                        text::format_g(range[0], 6) + " to " +
                                                        text::format_g(range[1], 6) + " " + unit)};
        };
        in_range("temperature.constant", o.temperature.constant, kTempRange, "degrees C");
        in_range("salinity.constant", o.salinity.constant, kSalnRange, "PSU");
    }
    if (a.has("--ctd"))
        o.ctd.file = a.get("--ctd");
    if (a.has("--ctd-columns")) {
        const std::vector<std::string> items = split_commas(a.get("--ctd-columns"));
        int cols[4] = {};
        bool ok = items.size() == 4;
        for (std::size_t i = 0; ok && i < 4; ++i) {
            bool good = false;
            std::size_t used = 0;
            const long long v = text::parse_long(items[i], &good, &used);
            ok = good && used == items[i].size() && v >= 1 && v <= 100000;
            cols[i] = static_cast<int>(v);
        }
        if (!ok)
            throw UsageError{
                "--ctd-columns needs four column numbers from 1 up: TIME,PRES,TEMP,SALN"};
        o.ctd.columns = {cols[0], cols[1], cols[2], cols[3]};
    }
    if (a.has("--ctd-time")) {
        const std::string& s = a.get("--ctd-time");
        const std::optional<CtdTimeFormat> format = ctd_time_format_named(s);
        if (!format)
            throw UsageError{"--ctd-time is ms, s, epoch, iso or date-time, not '" + s + "'"};
        o.ctd.time_format = *format;
    }
    o.ctd.lag_s = a.number_in("--ctd-lag", o.ctd.lag_s, -86400.0, 86400.0, "s");
    if (a.has("--ctd-max-gap")) {
        const double gap = a.number("--ctd-max-gap", 0.0);
        if (!(gap > 0.0 && gap <= 86400.0))
            throw UsageError{"--ctd-max-gap needs seconds above 0 and up to 86400, not '" +
                             a.get("--ctd-max-gap") + "'"};
        o.ctd.max_gap_s = gap;
    }
    if (a.has("--water"))
        o.water.file = a.get("--water");
    if (a.has("--gps"))
        o.gps.file = a.get("--gps");
    if (a.has("--temp-source")) {
        const std::string& s = a.get("--temp-source");
        const std::optional<TempSource> source = temp_source_named(s);
        if (!source || *source == TempSource::Fitted)
            throw UsageError{"--temp-source is constant, ctd or onboard, not '" + s + "'"};
        o.temperature.source = *source;
    }
    if (a.has("--saln-source")) {
        const std::string& s = a.get("--saln-source");
        const std::optional<SalnSource> source = saln_source_named(s);
        if (!source || (*source != SalnSource::Constant && *source != SalnSource::CTD))
            throw UsageError{"--saln-source is constant or ctd, not '" + s + "'"};
        o.salinity.source = *source;
    }
    o.temperature.constant =
        a.number_in("--temp", o.temperature.constant, kTempRange[0], kTempRange[1], "degrees C");
    o.salinity.constant =
        a.number_in("--saln", o.salinity.constant, kSalnRange[0], kSalnRange[1], "PSU");
    if (a.has("--apply")) {
        // The list names every correction that applies; those it leaves out are off.
        o.temperature.apply = o.salinity.apply = o.water.apply = o.scattering.apply = false;
        for (const std::string& item : split_commas(a.get("--apply"))) {
            if (item == "temp")
                o.temperature.apply = true;
            else if (item == "saln")
                o.salinity.apply = true;
            else if (item == "water")
                o.water.apply = true;
            else if (item == "scat")
                o.scattering.apply = true;
            else
                throw UsageError{"--apply takes temp, saln, water and scat, not '" + item + "'"};
        }
    }
    if (a.has("--scat-method")) {
        const std::string& s = a.get("--scat-method");
        const std::optional<ScatMethod> method = scat_method_named(s);
        if (!method)
            throw UsageError{
                "--scat-method is proportional, baseline, fraction or residual-temp, not '" + s +
                "'"};
        o.scattering.method = *method;
    }
    o.scattering.reference_nm = a.number("--scat-ref", o.scattering.reference_nm);
    if (a.has("--scat-no-negative"))
        o.scattering.no_negative = true;
    if (a.has("--chl"))
        o.output.chl_column = true;
    return o;
}

// Checks the files the corrections read before any work starts: they can be opened, and the
// CTD columns chosen are on the log's first data line (a column beyond it would merge 0).
void check_correction_inputs(const ProcessingOptions& o) {
    const std::string& ctd = o.ctd.file;
    if (!ctd.empty()) {
        cli::check_input(ctd);
        const ProcessingOptions::CtdColumns& c = o.ctd.columns;
        const int columns = cli::about_file(
            ctd, [&] { return CTD_Data::data_columns(ctd, o.ctd.time_format, c.time); });
        for (const int col : {c.time, c.pressure, c.temperature, c.salinity})
            if (columns > 0 && col > columns)
                throw UsageError{cli::about(ctd, "CTD column " + std::to_string(col) +
                                                     " is beyond the " + std::to_string(columns) +
                                                     " columns of the file.")};
    }
    if (!o.water.file.empty())
        cli::check_input(o.water.file);
    if (!o.gps.file.empty())
        cli::check_input(o.gps.file);
}

// Loads the CTD log and the water calibration into a loaded data set and sets its corrections,
// as the post-processing panel does.  What the user should know of the result goes to `notes`.
void apply_corrections(HYP_Data& d, const ProcessingOptions& o, std::vector<std::string>& notes) {
    const std::string& ctd = o.ctd.file;
    if (!ctd.empty()) {
        d.ctd_loaded = true;
        const ProcessingOptions::CtdColumns& c = o.ctd.columns;
        const CtdTimeBase time{o.ctd.time_format, o.ctd.lag_s, d.start_utc};
        if (is_clock_time(time.format) && !d.start_utc)
            throw VelmoraError(kCtdNeedsStartTime);
        const std::size_t skipped = cli::about_file(ctd, [&] {
            return d.ctd_file.read_ctd_file(ctd, c.time, c.temperature, c.salinity, c.pressure,
                                            time);
        });
        if (skipped > 0)
            notes.push_back(ctd_skipped_report(skipped));
        // Without a limit, records far from every sample keep the nearest one and are counted.
        const std::optional<double> gap_s = ctd_max_gap_s(time.format, o.ctd.max_gap_s);
        const std::optional<double> gap_ms =
            gap_s ? std::optional<double>(*gap_s * 1000.0) : std::nullopt;
        if (const std::size_t far = cli::about_file(ctd, [&] { return d.merge_ctd(gap_ms); });
            far > 0)
            notes.push_back(gap_s ? ctd_nan_report(far, *gap_s) : ctd_gap_report(far));
    }
    if (!o.gps.file.empty()) {
        if (!d.start_utc)
            throw VelmoraError(kGpsNeedsStartTime);
        const std::size_t skipped =
            cli::about_file(o.gps.file, [&] { return d.merge_gps(o.gps.file); });
        if (skipped > 0)
            notes.push_back(nmea_skip_report(skipped));
    }
    if (!o.water.file.empty())
        cli::about_file(o.water.file, [&] { d.load_file(o.water.file, true); });
    o.apply_to(d);
    const double ref = o.scattering.reference_nm;
    if (!d.a_wavelengths.empty()) {
        const auto [lo, hi] = std::minmax_element(d.a_wavelengths.begin(), d.a_wavelengths.end());
        if (ref < *lo || ref > *hi)
            notes.push_back("--scat-ref " + text::format_g(ref, 6) +
                            " nm is outside the channels (" + text::format_g(*lo, 6) + " to " +
                            text::format_g(*hi, 6) + " nm); the scattering reference is the " +
                            "nearest channel, a " + text::format_g(d.scat_ref_a_wl, 6) + " nm, c " +
                            text::format_g(d.scat_ref_c_wl, 6) + " nm.");
    }
}

void print_notes(const std::string& prefix, const std::vector<std::string>& notes) {
    for (const std::string& note : notes)
        cli::print_failure(prefix + note);
}

std::vector<std::size_t> selected_records(const HYP_Data& d, const std::string& selection) {
    std::vector<record_selection::Range> ranges;
    std::string error;
    if (!record_selection::parse(selection, ranges, error))
        throw UsageError{"--records: " + error};
    std::vector<std::size_t> indices;
    std::size_t bad = 0;
    if (!record_selection::expand(ranges, d.records.size(), indices, bad))
        throw VelmoraError("Record " + std::to_string(bad) + " does not exist; the file has " +
                           std::to_string(d.records.size()) + " records.");
    return indices;
}

// ---------------------------------------------------------------------------------------------
// Processing options of correct: grid, residual temperature, QC, bins, output formats.

const cli::OptionGroup kProcessingOptions{
    "Processing options:",
    {
        {"--grid", "G",
         "native, a (c onto the a wavelengths) or START:STOP:STEP in nm\n"
         "(a and c onto that grid); default native"},
        {"--rt-ref", "NM", "residual temperature reference wavelength (default 730)"},
        {"--rt-window", "LO:HI", "residual temperature fitting window, nm (default 700:750)"},
        {"--qc", nullptr, "QC flags (1 pass, 2 not evaluated, 3 suspect, 4 fail, 9 missing)"},
        {"--qc-set", "NAME=V,...",
         "QC thresholds (defaults): range_min -0.05, range_max 15,\n"
         "spike_suspect 0.02, spike_fail 0.05, flat_eps 1e-06,\n"
         "flat_suspect 20, flat_fail 60 (records), neg_b_suspect -0.01,\n"
         "neg_b_fail -0.05, gap_factor 4, residual_suspect 1,\n"
         "residual_fail 3 (degrees C), window_lo 400, window_hi 700 (nm)"},
        {"--bin", "B",
         "time:SECONDS or depth:METRES[:down|up|both] (default none;\n"
         "depth bins need --ctd, direction both)"},
        {"--bin-stat", "S", "median or mean (default median)"},
        {"--bin-min", "N", "fewest values for a bin value (default 3)"},
        {"--bin-exclude-suspect", nullptr, "with --qc, leave values flagged 3 out of the bins"},
        {"--format", "LIST",
         "comma-separated subset of text,netcdf,seabass (default text);\n"
         "netcdf and seabass files are OUT's stem with .nc and .sb"},
        {"--meta", "KEY=VALUE", "archive metadata (SeaBASS header, NetCDF attribute); repeatable"},
    }};

// A whole text as a finite number.
bool finite_number(const std::string& s, double& v) {
    std::size_t used = 0;
    v = text::parse_double(s, &used);
    return !s.empty() && used == s.size() && std::isfinite(v);
}

// "A:B" or "A:B:C" as numbers; false when any part is not a number.
bool split_numbers(const std::string& s, std::vector<double>& out) {
    out.clear();
    for (const std::string& part : split_on(s, ':')) {
        double v = 0.0;
        if (!finite_number(part, v))
            return false;
        out.push_back(v);
    }
    return true;
}

// The processing options of the command line on top of those of the recipe.  Every refusal
// names the option and its value.
void read_processing(const Args& a, ProcessingOptions& o) {
    auto refuse = [&](const char* option, const std::string& problem) {
        throw UsageError{std::string(option) + " " + a.get(option) + ": " + problem};
    };
    std::vector<double> v;
    if (a.has("--grid")) {
        const std::string& g = a.get("--grid");
        if (g == "native") {
            o.grid.kind = GridKind::Native;
        } else if (g == "a") {
            o.grid.kind = GridKind::OntoA;
        } else {
            if (!split_numbers(g, v) || v.size() != 3)
                refuse("--grid", "give native, a or START:STOP:STEP.");
            if (!(v[2] > 0.0))
                refuse("--grid", "the step must be positive.");
            if (v[1] < v[0])
                refuse("--grid", "STOP must not be below START.");
            o.grid = {GridKind::Regular, v[0], v[1], v[2]};
        }
    }
    o.scattering.residual.reference_nm = a.number("--rt-ref", o.scattering.residual.reference_nm);
    if (a.has("--rt-window")) {
        if (!split_numbers(a.get("--rt-window"), v) || v.size() != 2)
            refuse("--rt-window", "give LO:HI in nm.");
        if (!(v[0] < v[1]))
            refuse("--rt-window", "LO must be below HI.");
        o.scattering.residual.window_lo = v[0];
        o.scattering.residual.window_hi = v[1];
    }
    if (a.has("--qc"))
        o.qc.apply = true;
    if (a.has("--qc-set")) {
        for (const std::string& item : split_commas(a.get("--qc-set"))) {
            const std::size_t eq = item.find('=');
            const std::string name = item.substr(0, eq);
            const std::string value = eq == std::string::npos ? "" : item.substr(eq + 1);
            double x = 0.0;
            if (!finite_number(value, x))
                refuse("--qc-set", "give NAME=NUMBER, e.g. spike_fail=0.1.");
            // The recipe's reader checks the name and the value.
            const bool whole = value.find_first_of(".eE") == std::string::npos;
            const std::string number =
                whole ? std::to_string(static_cast<long long>(x)) : text::format_g(x, 17);
            try {
                o.read_json("{\"qc\": {\"" + name + "\": " + number + "}}");
            } catch (const RecipeError& e) {
                const std::string why = e.what();
                if (why.rfind("Unknown recipe key", 0) == 0)
                    refuse("--qc-set", "unknown threshold '" + name + "'; see --help.");
                refuse("--qc-set", why.substr(why.find(name)));
            }
        }
    }
    if (a.has("--bin")) {
        const std::string& b = a.get("--bin");
        const std::vector<std::string> parts = split_on(b, ':');
        const bool time = parts[0] == "time", depth = parts[0] == "depth";
        if ((!time && !depth) || parts.size() < 2 || parts.size() > (depth ? 3u : 2u))
            refuse("--bin", "give time:SECONDS or depth:METRES[:down|up|both].");
        double w = 0.0;
        if (!finite_number(parts[1], w))
            refuse("--bin", "the bin width must be a number.");
        if (!(w > 0.0))
            refuse("--bin", "the bin width must be positive.");
        o.binning.kind = time ? BinKind::Time : BinKind::Depth;
        o.binning.width = w;
        o.binning.direction = CastDirection::Both;
        if (parts.size() == 3) {
            if (parts[2] == "down")
                o.binning.direction = CastDirection::Down;
            else if (parts[2] == "up")
                o.binning.direction = CastDirection::Up;
            else if (parts[2] != "both")
                refuse("--bin", "the cast direction is down, up or both.");
        }
    }
    if (a.has("--bin-stat")) {
        const std::string& s = a.get("--bin-stat");
        if (s != "median" && s != "mean")
            refuse("--bin-stat", "give median or mean.");
        o.binning.stat = s == "median" ? BinStat::Median : BinStat::Mean;
    }
    o.binning.min_count =
        static_cast<int>(a.integer("--bin-min", o.binning.min_count, 1, 100000000));
    if (a.has("--bin-exclude-suspect"))
        o.binning.exclude_suspect = true;
    if (a.has("--format")) {
        o.output.text = o.output.netcdf = o.output.seabass = false;
        for (const std::string& item : split_commas(a.get("--format"))) {
            bool* target = item == "text"      ? &o.output.text
                           : item == "netcdf"  ? &o.output.netcdf
                           : item == "seabass" ? &o.output.seabass
                                               : nullptr;
            if (!target)
                refuse("--format", "the formats are text, netcdf and seabass.");
            *target = true;
        }
    }
    for (const std::string& m : a.get_all("--meta")) {
        const std::size_t eq = m.find('=');
        if (eq == std::string::npos || eq == 0)
            throw UsageError{"--meta " + m + ": give KEY=VALUE."};
        o.metadata[m.substr(0, eq)] = m.substr(eq + 1);
    }
    // What the options cannot do together, whether they came from the recipe or from here.
    if (o.scattering.apply && o.scattering.method == ScatMethod::ResidualTemp &&
        o.grid.kind == GridKind::Native)
        throw UsageError{kResidualNeedsGrid};
    if (o.binning.kind == BinKind::Depth && o.ctd.file.empty())
        throw UsageError{"--bin depth needs a merged CTD log (--ctd)."};
    if (const std::string why = o.qc.inconsistency(); !why.empty())
        throw UsageError{"--qc-set: " + why + "."};
    if (!(o.scattering.residual.window_lo < o.scattering.residual.window_hi))
        throw UsageError{"--rt-window " + text::format_g(o.scattering.residual.window_lo, 6) + ":" +
                         text::format_g(o.scattering.residual.window_hi, 6) +
                         ": LO must be below HI."};
}

// ---------------------------------------------------------------------------------------------
// correct

const cli::Command kCorrect{
    "correct",
    "Usage: velmora-cli correct DATA -o OUT [options]\n"
    "       velmora-cli correct DATA... -d OUTDIR [options]\n",
    "Loads an instrument data file, applies the chosen corrections to every record and writes\n"
    "the corrected output file.  With -d, every DATA file is processed (on all cores) into\n"
    "OUTDIR under the name NAME_corrected_YYYYMMDDhhmmss.dat; a failure of one file does not\n"
    "stop the others.\n",
    {{nullptr,
      {
          {"-o", "OUT", "the corrected file (one DATA file)", "--output"},
          {"-d", "OUTDIR", "folder for the corrected files (one or more DATA files)"},
          {"--chl", nullptr, "add the ChlA column"},
          {"--recipe", "FILE.json",
           "take the options from this processing recipe; options given here\n"
           "override it (--apply names every correction that applies)"},
          {"--save-recipe", "FILE.json",
           "write the options in force as a recipe (without DATA: only that)"},
          {"--start", "ISO", "UTC time of the first record, e.g. 2024-03-15T12:00:30Z"},
      }},
     kCorrectionOptions,
     kProcessingOptions}};

// The command line, which the NetCDF file keeps as its history.
std::string& history() {
    static std::string line;
    return line;
}

// `start`: the start time given on the command line, over the file's own.  Returns the files
// written.
std::vector<std::string> correct_one_file(const std::string& data, const std::string& out,
                                          const ProcessingOptions& o,
                                          std::vector<std::string>& notes,
                                          std::optional<std::int64_t> start = std::nullopt) {
    HYP_Data d;
    cli::about_file(data, [&] {
        d.load_file(data, false);
        // Refused about the file it concerns, before any correction runs.
        if (d.is_processed)
            throw VelmoraError(kAlreadyCorrected);
    });
    if (start)
        d.start_utc = start;
    apply_corrections(d, o, notes);
    // Correction faults are about the data, not about OUT: they come before any file is opened.
    if (!uses_products(o) && !o.output.netcdf && !o.output.seabass) {
        d.fill_corrected_records();
        if (!o.output.text)
            return {};
        cli::about_file(out, [&] { d.save_corrected(out, true, o.output.chl_column); });
        return {out};
    }
    const ProductTable t = make_products(d, o);
    try {
        return write_table_outputs(d, o, t, out, history());
    } catch (const OutputError& e) {
        throw VelmoraError(cli::about(e.path(), e.what()));
    } catch (const VelmoraError& e) {
        throw VelmoraError(cli::about(out, e.what()));
    }
}

// The GUI's default corrected name: the data file's name without its last four characters,
// "_corrected_" and the local time.
std::string default_corrected_name(const std::string& data, const std::tm& now) {
    std::string base = std::filesystem::path(data).filename().string();
    if (base.size() >= 4)
        base.resize(base.size() - 4);
    return base + "_corrected_" + time_stamp_for_name(now) + ".dat";
}

int correct_many(const std::vector<std::string>& files, const std::string& outdir,
                 const ProcessingOptions& o, std::optional<std::int64_t> start) {
    std::error_code ec;
    std::filesystem::create_directories(outdir, ec);
    if (!std::filesystem::is_directory(outdir)) {
        std::error_code exists_ec;
        if (std::filesystem::exists(outdir, exists_ec))
            throw VelmoraError(cli::about(outdir, "is a file, not a folder."));
        throw VelmoraError(
            cli::about(outdir, "Unable to make the output folder. (" + ec.message() + ")"));
    }
    const std::time_t t = std::time(nullptr);
    std::tm now{};
    localtime_r(&t, &now);

    struct Job {
        std::string data, out, error;
        std::vector<std::string> notes, written;
        bool ok = false;
    };
    std::vector<Job> jobs(files.size());
    std::map<std::string, std::size_t> taken;
    for (std::size_t i = 0; i < files.size(); ++i) {
        jobs[i].data = files[i];
        jobs[i].out =
            (std::filesystem::path(outdir) / default_corrected_name(files[i], now)).string();
        // Two inputs of the same name would overwrite each other's output.
        if (auto [it, fresh] = taken.emplace(jobs[i].out, i); !fresh)
            jobs[i].error =
                "output " + jobs[i].out + " would overwrite that of " + files[it->second] + "\n";
    }

    HYP_Data warm_up; // fills the process-wide table flag before the workers start
    (void)warm_up;
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        while (true) {
            const std::size_t i = next.fetch_add(1);
            if (i >= jobs.size())
                return;
            Job& job = jobs[i];
            if (!job.error.empty())
                continue;
            try {
                cli::check_input(job.data);
                job.written = correct_one_file(job.data, job.out, o, job.notes, start);
                job.ok = true;
            } catch (const VelmoraError& e) {
                job.error = e.what();
            } catch (const std::exception& e) {
                job.error = e.what();
            }
        }
    };
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t count = std::min(cores, jobs.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < count; ++i)
        threads.emplace_back(worker);
    worker();
    for (std::thread& th : threads)
        th.join();

    int status = 0;
    for (const Job& job : jobs) {
        print_notes(job.data + ": ", job.notes);
        if (job.ok) {
            std::string files;
            for (const std::string& w : job.written)
                files += (files.empty() ? "" : ", ") + w;
            std::printf("%s -> %s\n", job.data.c_str(), files.c_str());
        } else {
            cli::print_failure(cli::about(job.data, job.error));
            status = 1;
        }
    }
    return status;
}

} // namespace

int cmd_correct(int argc, char** argv) {
    std::string line = "velmora-cli correct";
    for (int i = 1; i < argc; ++i)
        line += std::string(" ") + argv[i];
    history() = line;
    return cli::run(kCorrect, argc, argv, [](const Args& a) {
        std::optional<std::int64_t> start;
        if (a.has("--start")) {
            start = clock_time::parse_iso(a.get("--start"));
            if (!start)
                throw UsageError{clock_time::kStartTimeForm};
        }
        const ProcessingOptions o = [&] {
            ProcessingOptions p = read_corrections(a);
            read_processing(a, p);
            return p;
        }();
        if (a.has("--save-recipe")) {
            const std::string& recipe = a.get("--save-recipe");
            cli::check_output(recipe);
            cli::about_file(recipe, [&] { o.save_recipe(recipe); });
            if (a.positional.empty() && !a.has("-o") && !a.has("-d"))
                return 0;
        }
        if (a.positional.empty())
            throw UsageError{"no DATA file given"};
        if (a.has("-o") == a.has("-d"))
            throw UsageError{"give either -o OUT or -d OUTDIR"};
        if (a.has("-o") && a.positional.size() != 1)
            throw UsageError{"-o takes one DATA file; use -d OUTDIR for several"};
        check_correction_inputs(o);
        if (a.has("-o"))
            if (const std::string clash = output_clash(output_paths(a.get("-o"), o.output));
                !clash.empty())
                throw UsageError{clash};
        if (a.has("-d"))
            return correct_many(a.positional, a.get("-d"), o, start);
        cli::check_input(a.positional[0]);
        cli::check_output(a.get("-o"));
        std::vector<std::string> notes;
        correct_one_file(a.positional[0], a.get("-o"), o, notes, start);
        print_notes("", notes);
        return 0;
    });
}

// ---------------------------------------------------------------------------------------------
// water

namespace {

const cli::Command kWater{
    "water",
    "Usage: velmora-cli water DATA --records SPEC --temp C -o OUT.wcf [--water FILE --apply "
    "water]\n",
    "Writes a water calibration file from the mean of the selected records, taken at C degrees.\n"
    "Temperature, salinity and scattering corrections are off; with --water and --apply water\n"
    "an earlier water calibration is subtracted first.\n",
    {{nullptr,
      {
          {"--records", "SPEC", "0-based records: indices and inclusive ranges, e.g. 3,7-9"},
          {"--temp", "C", "temperature of the water, degrees C"},
          {"-o", "OUT.wcf", "the water calibration file", "--output"},
          {"--water", "FILE", "an earlier water calibration"},
          {"--apply", "water", "subtract it"},
      }}}};

} // namespace

int cmd_water(int argc, char** argv) {
    return cli::run(kWater, argc, argv, [](const Args& a) {
        if (a.positional.size() != 1)
            throw UsageError{"give one DATA file"};
        if (!a.has("--records") || !a.has("--temp") || !a.has("-o"))
            throw UsageError{"--records, --temp and -o are required"};
        const double temp = a.number_in("--temp", 0.0, kTempRange[0], kTempRange[1], "degrees C");
        bool do_water = false;
        if (a.has("--apply")) {
            for (const std::string& item : split_commas(a.get("--apply"))) {
                if (item != "water")
                    throw UsageError{"--apply takes only water here, not '" + item + "'"};
                do_water = true;
            }
        }
        const std::string& data = a.positional[0];
        const std::string water = a.get_or("--water", "");
        cli::check_input(data);
        if (!water.empty())
            cli::check_input(water);
        cli::check_output(a.get("-o"));
        HYP_Data d;
        cli::about_file(data, [&] { d.load_file(data, false); });
        const std::vector<std::size_t> indices = selected_records(d, a.get("--records"));
        if (!water.empty())
            cli::about_file(water, [&] { d.load_file(water, true); });
        d.do_temp = d.do_saln = d.do_scat = false;
        d.do_water = do_water;
        cli::about_file(a.get("-o"), [&] { d.save_water_cal(a.get("-o"), indices, temp); });
        return 0;
    });
}

// ---------------------------------------------------------------------------------------------
// devfile

namespace {

const cli::Command kDevfile{
    "devfile",
    "Usage: velmora-cli devfile DATA --records SPEC -o OUT.dev [correction options]\n",
    "Writes a device file whose clean-water offsets are moved by the mean corrected values of\n"
    "the selected records.\n",
    {{nullptr,
      {
          {"--records", "SPEC", "0-based records: indices and inclusive ranges, e.g. 3,7-9"},
          {"-o", "OUT.dev", "the new device file", "--output"},
      }},
     kCorrectionOptions}};

} // namespace

int cmd_devfile(int argc, char** argv) {
    return cli::run(kDevfile, argc, argv, [](const Args& a) {
        if (a.positional.size() != 1)
            throw UsageError{"give one DATA file"};
        if (!a.has("--records") || !a.has("-o"))
            throw UsageError{"--records and -o are required"};
        const ProcessingOptions o = read_corrections(a);
        if (o.scattering.apply && o.scattering.method == ScatMethod::ResidualTemp)
            throw UsageError{"--scat-method residual-temp is for correct only."};
        const std::string& data = a.positional[0];
        check_correction_inputs(o);
        cli::check_input(data);
        cli::check_output(a.get("-o"));
        HYP_Data d;
        cli::about_file(data, [&] { d.load_file(data, false); });
        const std::vector<std::size_t> indices = selected_records(d, a.get("--records"));
        std::vector<std::string> notes;
        apply_corrections(d, o, notes);
        print_notes("", notes);
        cli::about_file(a.get("-o"), [&] { d.save_devfile(a.get("-o"), indices); });
        return 0;
    });
}

// ---------------------------------------------------------------------------------------------
// info

namespace {

const cli::Command kInfo{
    "info",
    "Usage: velmora-cli info FILE\n"
    "       velmora-cli info --dev DEV CAPTURE\n",
    "Says what a data, corrected (processed) or water calibration file holds: its kind, the\n"
    "instrument's serial number, the channels and their wavelengths, the records, the time\n"
    "they span and the start time (UTC) of the first.  Of a device file it gives the model,\n"
    "serial number, line speed, path length and channels.  A raw capture holds no calibration:\n"
    "with --dev it is decoded with the device file DEV and its records, lost records and serial\n"
    "number are given.\n",
    {{nullptr,
      {
          {"--dev", "DEV", "the device file to decode a raw capture with"},
      }}}};

void print_range(const char* label, const std::vector<double>& wl) {
    if (wl.empty()) {
        std::printf("%s wavelengths: none\n", label);
        return;
    }
    const auto [lo, hi] = std::minmax_element(wl.begin(), wl.end());
    std::printf("%s wavelengths: %s to %s nm\n", label, text::format_g(*lo, 6).c_str(),
                text::format_g(*hi, 6).c_str());
}

int info_water(const std::string& path) {
    const WaterCalFile w = cli::about_file(path, [&] { return read_water_cal_file(path); });
    std::printf("file: %s\n", path.c_str());
    std::printf("kind: water calibration file\n");
    if (w.serial_read)
        std::printf("serial number: %lld\n", w.serial_number);
    else
        std::printf("serial number: unknown\n");
    std::printf("channels: %zu\n", w.a_wavelengths.size());
    print_range("a", w.a_wavelengths);
    print_range("c", w.c_wavelengths);
    std::printf("calibration temperature: %s degrees C\n",
                text::format_g(w.temperature, 6).c_str());
    std::printf("records: 1\n");
    return 0;
}

// The second line of a text file, where the kind of file is named.
std::string second_line(const std::string& path) {
    fileio::LineReader in(path, 1 << 16);
    std::string_view line;
    if (in.next(line) && in.next(line))
        return std::string(line);
    return {};
}

// Raw captures are binary: their first bytes hold NULs and control characters no text file has.
bool looks_binary(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[512];
    in.read(head, sizeof head);
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
        const unsigned char ch = static_cast<unsigned char>(head[i]);
        if (ch < 0x20 && ch != '\t' && ch != '\n' && ch != '\r' && ch != '\f' && ch != '\v')
            return true;
    }
    return false;
}

} // namespace

int cmd_info(int argc, char** argv) {
    return cli::run(kInfo, argc, argv, [](const Args& a) {
        if (a.positional.size() != 1)
            throw UsageError{"give one FILE"};
        const std::string& path = a.positional[0];
        if (a.has("--dev"))
            return info_capture(a.get("--dev"), path);
        cli::check_input(path);
        if (peek_device_kind(path) != DeviceKind::Neither)
            return info_device(path);
        if (text::starts_with_nocase(second_line(path), "Water"))
            return info_water(path);
        HYP_Data d;
        try {
            d.load_file(path, false);
        } catch (const VelmoraError& e) {
            if (looks_binary(path))
                throw VelmoraError(cli::about(path, std::string(e.what()) +
                                                        "  A raw capture is read with its device "
                                                        "file: velmora-cli info --dev DEV " +
                                                        path));
            throw VelmoraError(cli::about(path, e.what()));
        }
        const char* kind = d.instrument_type == InstrumentType::HYP         ? "HYP data file"
                           : d.instrument_type == InstrumentType::FLW       ? "FLW data file"
                           : d.instrument_type == InstrumentType::Processed ? "processed file"
                                                                            : "unknown";
        std::printf("file: %s\n", path.c_str());
        std::printf("kind: %s\n", kind);
        if (d.instrument_type == InstrumentType::Processed)
            std::printf("serial number: unknown\n");
        else
            std::printf("serial number: %d\n", static_cast<int>(d.serial_number));
        std::printf("channels: %zu\n", d.a_wavelengths.size());
        print_range("a", d.a_wavelengths);
        print_range("c", d.c_wavelengths);
        std::printf("records: %zu\n", d.records.size());
        if (d.records.empty()) {
            std::printf("time span: none\n");
        } else {
            const double first = d.records.front().time;
            const double last = d.records.back().time;
            std::printf("time span: %s to %s ms (%s s)\n", text::format_g(first, 10).c_str(),
                        text::format_g(last, 10).c_str(),
                        text::format_g((last - first) / 1000.0, 10).c_str());
        }
        std::printf("start: %s\n",
                    d.start_utc ? clock_time::format_iso(*d.start_utc).c_str() : "unknown");
        return 0;
    });
}
