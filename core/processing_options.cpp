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
    return name_in(kScatNames, m);
}
std::string_view name_of(TempSource s) {
    return name_in(kTempNames, s);
}
std::string_view name_of(SalnSource s) {
    return name_in(kSalnNames, s);
}
std::optional<ScatMethod> scat_method_named(std::string_view name) {
    return value_in(kScatNames, name);
}
std::optional<TempSource> temp_source_named(std::string_view name) {
    return value_in(kTempNames, name);
}
std::optional<SalnSource> saln_source_named(std::string_view name) {
    return value_in(kSalnNames, name);
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
    if (is_named(kScatNames, d.scat_method))
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
    j["ctd"] = {{"file", ctd.file},
                {"columns",
                 {{"time", ctd.columns.time},
                  {"pressure", ctd.columns.pressure},
                  {"temperature", ctd.columns.temperature},
                  {"salinity", ctd.columns.salinity}}}};
    j["water"] = {{"file", water.file}, {"apply", water.apply}};
    j["scattering"] = {{"apply", scattering.apply},
                       {"method", std::string(name_of(scattering.method))},
                       {"reference_nm", scattering.reference_nm},
                       {"no_negative", scattering.no_negative}};
    j["output"] = {{"chl_column", output.chl_column}};
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
                else
                    return false;
                return true;
            });
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
                    o.scattering.method = named(kScatNames, x, p);
                else if (k == "reference_nm")
                    o.scattering.reference_nm = number(x, p);
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
