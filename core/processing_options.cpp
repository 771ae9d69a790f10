// The processing options: setting them on a data set, reading them back, and the JSON recipe.
#include "processing_options.h"

#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "atomic_file.h"
#include "hyp_data.h"
#include "text.h"

namespace {

template <typename Enum> struct Named {
    Enum value;
    std::string_view name;
};

constexpr Named<ScatMethod> kScatNames[] = {
    {ScatMethod::Proportional, "proportional"},
    {ScatMethod::Baseline, "baseline"},
    {ScatMethod::FractionOfB, "fraction"},
};
constexpr Named<TempSource> kTempNames[] = {
    {TempSource::Constant, "constant"},
    {TempSource::CTD, "ctd"},
    {TempSource::Onboard, "onboard"},
    {TempSource::Fitted, "fitted"},
};
constexpr Named<SalnSource> kSalnNames[] = {
    {SalnSource::Constant, "constant"},
    {SalnSource::CTD, "ctd"},
    {SalnSource::Onboard, "onboard"},
    {SalnSource::Fitted, "fitted"},
};
// Kept apart from kScatNames: the legacy methods' list is what a refused name is told.
constexpr std::string_view kResidualTempName = "residual-temp";
constexpr Named<CtdTimeFormat> kCtdTimeNames[] = {
    {CtdTimeFormat::Ms, "ms"},
    {CtdTimeFormat::Seconds, "s"},
    {CtdTimeFormat::Epoch, "epoch"},
    {CtdTimeFormat::Iso, "iso"},
    {CtdTimeFormat::DateTime, "date-time"},
};
constexpr Named<GridKind> kGridNames[] = {
    {GridKind::Native, "native"},
    {GridKind::OntoA, "a"},
    {GridKind::Regular, "regular"},
};
constexpr Named<BinKind> kBinNames[] = {
    {BinKind::None, "none"},
    {BinKind::Time, "time"},
    {BinKind::Depth, "depth"},
};
constexpr Named<CastDirection> kDirectionNames[] = {
    {CastDirection::Both, "both"},
    {CastDirection::Down, "down"},
    {CastDirection::Up, "up"},
};
constexpr Named<BinStat> kStatNames[] = {
    {BinStat::Median, "median"},
    {BinStat::Mean, "mean"},
};

template <typename Enum, std::size_t N>
std::string_view name_in(const Named<Enum> (&names)[N], Enum value) {
    for (const auto& n : names)
        if (n.value == value)
            return n.name;
    return {};
}

template <typename Enum, std::size_t N>
std::optional<Enum> value_in(const Named<Enum> (&names)[N], std::string_view name) {
    for (const auto& n : names)
        if (n.name == name)
            return n.value;
    return std::nullopt;
}

// "proportional, baseline or fraction"
template <typename Enum, std::size_t N> std::string names_text(const Named<Enum> (&names)[N]) {
    std::string s;
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0)
            s += i + 1 == N ? " or " : ", ";
        s += names[i].name;
    }
    return s;
}

template <typename Enum, std::size_t N> bool is_named(const Named<Enum> (&names)[N], Enum value) {
    return !name_in(names, value).empty();
}

} // namespace

std::string_view name_of(ScatMethod m) {
    return m == ScatMethod::ResidualTemp ? kResidualTempName : name_in(kScatNames, m);
}
std::string_view name_of(TempSource s) {
    return name_in(kTempNames, s);
}
std::string_view name_of(SalnSource s) {
    return name_in(kSalnNames, s);
}
std::optional<ScatMethod> scat_method_named(std::string_view name) {
    if (name == kResidualTempName)
        return ScatMethod::ResidualTemp;
    return value_in(kScatNames, name);
}
std::optional<TempSource> temp_source_named(std::string_view name) {
    return value_in(kTempNames, name);
}
std::optional<SalnSource> saln_source_named(std::string_view name) {
    return value_in(kSalnNames, name);
}
std::string_view name_of(CtdTimeFormat f) {
    return name_in(kCtdTimeNames, f);
}
std::optional<CtdTimeFormat> ctd_time_format_named(std::string_view name) {
    return value_in(kCtdTimeNames, name);
}

double ProcessingOptions::apply_to(HYP_Data& d) const {
    if (temperature.source == TempSource::Onboard && !d.has_onboard_temperature())
        throw VelmoraError(kNoOnboardTemperature);
    // The reference first: a data set without wavelengths refuses it before anything changes.
    const double chosen = d.set_scat_ref(scattering.reference_nm);
    d.temp_source = temperature.source;
    d.const_temp = temperature.constant;
    d.do_temp = temperature.apply;
    d.saln_source = salinity.source;
    d.const_saln = salinity.constant;
    d.do_saln = salinity.apply;
    d.do_water = water.apply;
    d.do_scat = scattering.apply;
    d.scat_method = scattering.method;
    d.scat_no_negative = scattering.no_negative;
    return chosen;
}

ProcessingOptions ProcessingOptions::from(const HYP_Data& d) {
    ProcessingOptions o;
    if (is_named(kTempNames, d.temp_source))
        o.temperature.source = d.temp_source;
    o.temperature.constant = d.const_temp;
    o.temperature.apply = d.do_temp;
    if (is_named(kSalnNames, d.saln_source))
        o.salinity.source = d.saln_source;
    o.salinity.constant = d.const_saln;
    o.salinity.apply = d.do_saln;
    if (d.ctd_merged)
        o.ctd.file = d.ctd_file.source_file;
    if (d.water_loaded)
        o.water.file = d.water_file_name;
    o.water.apply = d.do_water;
    o.scattering.apply = d.do_scat;
    if (is_named(kScatNames, d.scat_method) || d.scat_method == ScatMethod::ResidualTemp)
        o.scattering.method = d.scat_method;
    if (d.scat_ref_a < d.a_wavelengths.size())
        o.scattering.reference_nm = d.scat_ref_a_wl;
    o.scattering.no_negative = d.scat_no_negative;
    return o;
}

ScatMethod ProcessingOptions::method_for_list_index(int index, ScatMethod current) {
    switch (index) {
    case 0:
        return ScatMethod::Proportional;
    case 1:
        return ScatMethod::Baseline;
    case 2:
        return ScatMethod::FractionOfB;
    default:
        return current;
    }
}

int ProcessingOptions::list_index_for_method(ScatMethod m) {
    switch (m) {
    case ScatMethod::Baseline:
        return 1;
    case ScatMethod::FractionOfB:
        return 2;
    case ScatMethod::Proportional:
    default:
        return 0;
    }
}

std::optional<double> ProcessingOptions::stepped_reference(const std::vector<double>& a_wavelengths,
                                                           std::uint32_t ref_index, bool up) {
    const std::size_t k = ref_index;
    if (k >= a_wavelengths.size())
        return std::nullopt;
    if (up && k + 1 < a_wavelengths.size())
        return a_wavelengths[k + 1];
    if (!up && k > 0)
        return a_wavelengths[k - 1];
    return a_wavelengths[k];
}

std::string ProcessingOptions::wavelength_text(double nm) {
    return text::format_g(nm, 15);
}

// --- Recipe ---------------------------------------------------------------------------------

namespace {

using json = nlohmann::json;
using ordered_json = nlohmann::ordered_json;

constexpr int kRecipeVersion = 1;

// Walks the keys of one object; `field` takes a key it knows and returns false for any other.
void read_object(const json& j, const std::string& where,
                 const std::function<bool(const std::string& key, const json& value,
                                          const std::string& path)>& field) {
    if (!j.is_object())
        throw RecipeError(where.empty() ? std::string("A recipe is one JSON object of keys.")
                                        : "Recipe key " + where + " needs an object of keys.");
    for (const auto& [key, value] : j.items()) {
        const std::string path = where.empty() ? key : where + "." + key;
        if (!field(key, value, path))
            throw RecipeError("Unknown recipe key: " + path);
    }
}

double number(const json& v, const std::string& path) {
    // A number too large for a double reads as infinite, which a recipe could not write again.
    if (!v.is_number() || !std::isfinite(v.get<double>()))
        throw RecipeError("Recipe key " + path + " needs a number.");
    return v.get<double>();
}

bool flag(const json& v, const std::string& path) {
    if (!v.is_boolean())
        throw RecipeError("Recipe key " + path + " needs true or false.");
    return v.get<bool>();
}

std::string string_value(const json& v, const std::string& path) {
    if (!v.is_string())
        throw RecipeError("Recipe key " + path + " needs a text in quotes.");
    return v.get<std::string>();
}

int column(const json& v, const std::string& path) {
    if (!v.is_number_integer() || v.get<long long>() < 1 || v.get<long long>() > 100000)
        throw RecipeError("Recipe key " + path + " needs a column number from 1 up.");
    return static_cast<int>(v.get<long long>());
}

template <typename Enum, std::size_t N>
Enum named(const Named<Enum> (&names)[N], const json& v, const std::string& path) {
    const std::string s = string_value(v, path);
    if (const std::optional<Enum> e = value_in(names, s))
        return *e;
    throw RecipeError("Recipe key " + path + " is " + names_text(names) + ", not '" + s + "'.");
}

ScatMethod scat_method_value(const json& v, const std::string& path) {
    if (v.is_string() && v.get<std::string>() == kResidualTempName)
        return ScatMethod::ResidualTemp;
    return named(kScatNames, v, path);
}

// A count of records or values: a whole number from 1 up.
int count_value(const json& v, const std::string& path) {
    if (!v.is_number_integer() || v.get<long long>() < 1 || v.get<long long>() > 100000000)
        throw RecipeError("Recipe key " + path + " needs a whole number from 1 up.");
    return static_cast<int>(v.get<long long>());
}

double positive(const json& v, const std::string& path) {
    const double x = number(v, path);
    if (!(x > 0.0))
        throw RecipeError("Recipe key " + path + " needs a number above 0.");
    return x;
}

// Reads the numbers of one object by key: true when `k` is one of them.
bool number_field(std::initializer_list<std::pair<const char*, double*>> fields,
                  const std::string& k, const json& x, const std::string& p) {
    for (const auto& [name, target] : fields) {
        if (k == name) {
            *target = number(x, p);
            return true;
        }
    }
    return false;
}

void read_formats(ProcessingOptions::Output& out, const json& v, const std::string& path) {
    const char* const kNeeds = " needs a list of text, netcdf and seabass.";
    if (!v.is_array() || v.empty())
        throw RecipeError("Recipe key " + path + kNeeds);
    out.text = out.netcdf = out.seabass = false;
    for (const json& item : v) {
        const std::string name = item.is_string() ? item.get<std::string>() : "";
        bool* target = name == "text"      ? &out.text
                       : name == "netcdf"  ? &out.netcdf
                       : name == "seabass" ? &out.seabass
                                           : nullptr;
        if (!target)
            throw RecipeError("Recipe key " + path + kNeeds);
        *target = true;
    }
}

ordered_json qc_json(const ProcessingOptions::Qc& q) {
    return {{"apply", q.apply},
            {"range_min", q.range_min},
            {"range_max", q.range_max},
            {"spike_suspect", q.spike_suspect},
            {"spike_fail", q.spike_fail},
            {"flat_eps", q.flat_eps},
            {"flat_suspect", q.flat_suspect},
            {"flat_fail", q.flat_fail},
            {"neg_b_suspect", q.neg_b_suspect},
            {"neg_b_fail", q.neg_b_fail},
            {"gap_factor", q.gap_factor},
            {"residual_suspect", q.residual_suspect},
            {"residual_fail", q.residual_fail},
            {"window_lo", q.window_lo},
            {"window_hi", q.window_hi}};
}

bool qc_field(ProcessingOptions::Qc& q, const std::string& k, const json& x, const std::string& p) {
    if (k == "apply")
        q.apply = flag(x, p);
    else if (k == "flat_suspect")
        q.flat_suspect = count_value(x, p);
    else if (k == "flat_fail")
        q.flat_fail = count_value(x, p);
    else if (k == "gap_factor")
        q.gap_factor = positive(x, p);
    else
        return number_field({{"range_min", &q.range_min},
                             {"range_max", &q.range_max},
                             {"spike_suspect", &q.spike_suspect},
                             {"spike_fail", &q.spike_fail},
                             {"flat_eps", &q.flat_eps},
                             {"neg_b_suspect", &q.neg_b_suspect},
                             {"neg_b_fail", &q.neg_b_fail},
                             {"residual_suspect", &q.residual_suspect},
                             {"residual_fail", &q.residual_fail},
                             {"window_lo", &q.window_lo},
                             {"window_hi", &q.window_hi}},
                            k, x, p);
    return true;
}

} // namespace

std::string ProcessingOptions::to_json() const {
    ordered_json j;
    j["velmora_recipe"] = kRecipeVersion;
    j["temperature"] = {{"source", std::string(name_of(temperature.source))},
                        {"constant", temperature.constant},
                        {"apply", temperature.apply}};
    j["salinity"] = {{"source", std::string(name_of(salinity.source))},
                     {"constant", salinity.constant},
                     {"apply", salinity.apply}};
    j["ctd"] = {
        {"file", ctd.file},
        {"columns",
         {{"time", ctd.columns.time},
          {"pressure", ctd.columns.pressure},
          {"temperature", ctd.columns.temperature},
          {"salinity", ctd.columns.salinity}}},
        {"time_format", std::string(name_of(ctd.time_format))},
        {"lag_s", ctd.lag_s},
        {"max_gap_s", ctd.max_gap_s ? ordered_json(*ctd.max_gap_s) : ordered_json(nullptr)}};
    j["gps"] = {{"file", gps.file}};
    j["grid"] = {{"kind", std::string(name_in(kGridNames, grid.kind))},
                 {"start", grid.start},
                 {"stop", grid.stop},
                 {"step", grid.step}};
    j["water"] = {{"file", water.file}, {"apply", water.apply}};
    j["scattering"] = {{"apply", scattering.apply},
                       {"method", std::string(name_of(scattering.method))},
                       {"reference_nm", scattering.reference_nm},
                       {"no_negative", scattering.no_negative},
                       {"residual",
                        {{"reference_nm", scattering.residual.reference_nm},
                         {"window_lo", scattering.residual.window_lo},
                         {"window_hi", scattering.residual.window_hi}}}};
    j["qc"] = qc_json(qc);
    j["binning"] = {{"kind", std::string(name_in(kBinNames, binning.kind))},
                    {"width", binning.width},
                    {"direction", std::string(name_in(kDirectionNames, binning.direction))},
                    {"stat", std::string(name_in(kStatNames, binning.stat))},
                    {"min_count", binning.min_count},
                    {"exclude_suspect", binning.exclude_suspect}};
    ordered_json formats = ordered_json::array();
    for (const auto& [on, name] :
         {std::pair{output.text, "text"}, std::pair{output.netcdf, "netcdf"},
          std::pair{output.seabass, "seabass"}})
        if (on)
            formats.push_back(name);
    j["output"] = {{"chl_column", output.chl_column}, {"formats", formats}};
    j["metadata"] = ordered_json::object();
    for (const auto& [key, value] : metadata)
        j["metadata"][key] = value;
    try {
        return j.dump(2) + "\n";
    } catch (const json::type_error&) {
        throw VelmoraError("A recipe holds text in UTF-8 only; a file name here is not.");
    }
}

void ProcessingOptions::read_json(std::string_view text) {
    json j;
    try {
        j = json::parse(text.begin(), text.end());
    } catch (const json::parse_error& e) {
        throw RecipeError("The recipe is not valid JSON (at character " + std::to_string(e.byte) +
                          ").");
    } catch (const json::exception&) {
        throw RecipeError("The recipe holds a number too large to be read.");
    }
    // Read into a copy, so that a refused recipe changes nothing.
    ProcessingOptions o = *this;
    read_object(j, "", [&](const std::string& key, const json& v, const std::string& path) {
        if (key == "velmora_recipe") {
            if (!v.is_number_integer() || v.get<long long>() != kRecipeVersion)
                throw RecipeError("Recipe key velmora_recipe: this program reads version " +
                                  std::to_string(kRecipeVersion) + ".");
        } else if (key == "temperature") {
            read_object(v, path, [&](const std::string& k, const json& x, const std::string& p) {
                if (k == "source")
                    o.temperature.source = named(kTempNames, x, p);
                else if (k == "constant")
                    o.temperature.constant = number(x, p);
                else if (k == "apply")
                    o.temperature.apply = flag(x, p);
                else
                    return false;
                return true;
            });
        } else if (key == "salinity") {
            read_object(v, path, [&](const std::string& k, const json& x, const std::string& p) {
                if (k == "source")
                    o.salinity.source = named(kSalnNames, x, p);
                else if (k == "constant")
                    o.salinity.constant = number(x, p);
                else if (k == "apply")
                    o.salinity.apply = flag(x, p);
                else
                    return false;
                return true;
            });
        } else if (key == "ctd") {
            read_object(v, path, [&](const std::string& k, const json& x, const std::string& p) {
                if (k == "file")
                    o.ctd.file = string_value(x, p);
                else if (k == "columns")
                    read_object(x, p,
                                [&](const std::string& c, const json& y, const std::string& q) {
                                    int* target = c == "time"          ? &o.ctd.columns.time
                                                  : c == "pressure"    ? &o.ctd.columns.pressure
                                                  : c == "temperature" ? &o.ctd.columns.temperature
                                                  : c == "salinity"    ? &o.ctd.columns.salinity
                                                                       : nullptr;
                                    if (target)
                                        *target = column(y, q);
                                    return target != nullptr;
                                });
                else if (k == "time_format")
                    o.ctd.time_format = named(kCtdTimeNames, x, p);
                else if (k == "lag_s")
                    o.ctd.lag_s = number(x, p);
                else if (k == "max_gap_s")
                    o.ctd.max_gap_s =
                        x.is_null() ? std::nullopt : std::optional<double>(positive(x, p));
                else
                    return false;
                return true;
            });
        } else if (key == "gps") {
            read_object(v, path, [&](const std::string& k, const json& x, const std::string& p) {
                if (k != "file")
                    return false;
                o.gps.file = string_value(x, p);
                return true;
            });
        } else if (key == "grid") {
            read_object(v, path, [&](const std::string& k, const json& x, const std::string& p) {
                if (k == "kind")
                    o.grid.kind = named(kGridNames, x, p);
                else
                    return number_field(
                        {{"start", &o.grid.start}, {"stop", &o.grid.stop}, {"step", &o.grid.step}},
                        k, x, p);
                return true;
            });
            if (o.grid.kind == GridKind::Regular &&
                !(o.grid.step > 0.0 && o.grid.stop >= o.grid.start))
                throw RecipeError("Recipe key grid needs start <= stop and a step above 0.");
        } else if (key == "qc") {
            read_object(v, path, [&](const std::string& k, const json& x, const std::string& p) {
                return qc_field(o.qc, k, x, p);
            });
        } else if (key == "binning") {
            read_object(v, path, [&](const std::string& k, const json& x, const std::string& p) {
                if (k == "kind")
                    o.binning.kind = named(kBinNames, x, p);
                else if (k == "width")
                    o.binning.width = number(x, p);
                else if (k == "direction")
                    o.binning.direction = named(kDirectionNames, x, p);
                else if (k == "stat")
                    o.binning.stat = named(kStatNames, x, p);
                else if (k == "min_count")
                    o.binning.min_count = count_value(x, p);
                else if (k == "exclude_suspect")
                    o.binning.exclude_suspect = flag(x, p);
                else
                    return false;
                return true;
            });
            if (o.binning.kind != BinKind::None && !(o.binning.width > 0.0))
                throw RecipeError("Recipe key binning.width needs a number above 0.");
        } else if (key == "metadata") {
            std::map<std::string, std::string> meta;
            read_object(v, path, [&](const std::string& k, const json& x, const std::string& p) {
                meta[k] = string_value(x, p);
                return true;
            });
            o.metadata = std::move(meta);
        } else if (key == "water") {
            read_object(v, path, [&](const std::string& k, const json& x, const std::string& p) {
                if (k == "file")
                    o.water.file = string_value(x, p);
                else if (k == "apply")
                    o.water.apply = flag(x, p);
                else
                    return false;
                return true;
            });
        } else if (key == "scattering") {
            read_object(v, path, [&](const std::string& k, const json& x, const std::string& p) {
                if (k == "apply")
                    o.scattering.apply = flag(x, p);
                else if (k == "method")
                    o.scattering.method = scat_method_value(x, p);
                else if (k == "reference_nm")
                    o.scattering.reference_nm = number(x, p);
                else if (k == "residual")
                    read_object(
                        x, p, [&](const std::string& r, const json& y, const std::string& q) {
                            ProcessingOptions::Scattering::Residual& res = o.scattering.residual;
                            return number_field({{"reference_nm", &res.reference_nm},
                                                 {"window_lo", &res.window_lo},
                                                 {"window_hi", &res.window_hi}},
                                                r, y, q);
                        });
                else if (k == "no_negative")
                    o.scattering.no_negative = flag(x, p);
                else
                    return false;
                return true;
            });
        } else if (key == "output") {
            read_object(v, path, [&](const std::string& k, const json& x, const std::string& p) {
                if (k == "chl_column")
                    o.output.chl_column = flag(x, p);
                else if (k == "formats")
                    read_formats(o.output, x, p);
                else
                    return false;
                return true;
            });
        } else {
            return false;
        }
        return true;
    });
    *this = std::move(o);
}

void ProcessingOptions::read_recipe(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw VelmoraError("Unable to open file.");
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (in.bad())
        throw VelmoraError("Unable to read file.");
    read_json(content);
}

void ProcessingOptions::save_recipe(const std::string& path) const {
    AtomicFile file(path,
                    "Unable to open file for saving.  Is this file opened in another program?");
    file.stream() << to_json();
    file.commit();
}

std::string ProcessingOptions::Qc::inconsistency() const {
    const auto g = [](double v) { return text::format_g(v, 6); };
    const auto below = [&](const char* lo_name, double lo, const char* hi_name, double hi,
                           bool strict) -> std::string {
        if (strict ? lo < hi : lo <= hi)
            return {};
        return std::string(lo_name) + " " + g(lo) + " must be " + (strict ? "below " : "at most ") +
               hi_name + " " + g(hi);
    };
    for (const std::string& why :
         {below("range_min", range_min, "range_max", range_max, true),
          below("spike_suspect", spike_suspect, "spike_fail", spike_fail, false),
          below("neg_b_fail", neg_b_fail, "neg_b_suspect", neg_b_suspect, false),
          below("flat_suspect", flat_suspect, "flat_fail", flat_fail, false),
          below("residual_suspect", residual_suspect, "residual_fail", residual_fail, false),
          below("window_lo", window_lo, "window_hi", window_hi, true)})
        if (!why.empty())
            return why;
    return {};
}
