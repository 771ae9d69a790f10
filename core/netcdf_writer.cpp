// The NetCDF file follows the CF conventions: the time and wavelength coordinates, the a and c
// values over them with their flags, bin statistics and merged CTD and GPS columns, and global
// attributes saying where the data came from and how they were processed.
#include "netcdf_writer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "atomic_file.h"
#include "clock_time.h"
#include "nearest_index.h"
#include "netcdf_file.h"
#include "products.h"
#include "text.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kDeflateLevel = 4;

// Time steps per chunk of a 2-D variable: about half a megabyte of doubles, so that deflate
// works on large pieces and a client reading a few spectra decompresses little; never fewer
// than 256 nor more than 4096 steps, nor more than the file holds.
std::size_t time_chunk(std::size_t rows, std::size_t channels) {
    const std::size_t target = (512 * 1024) / (sizeof(double) * std::max<std::size_t>(channels, 1));
    return std::min(rows, std::clamp<std::size_t>(target, 256, 4096));
}

std::string joined(const std::vector<std::string>& parts, const char* between) {
    std::string s;
    for (const std::string& p : parts) {
        if (p.empty())
            continue;
        if (!s.empty())
            s += between;
        s += p;
    }
    return s;
}

// "YYYY-MM-DDThh:mm:ssZ" of now.
std::string utc_now() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    const std::string iso = clock_time::format_iso(ms);
    return iso.substr(0, 19) + 'Z';
}

// The defining and the writing of one file: variables are defined first, their values kept
// for the data phase.
class Writer {
  public:
    Writer(netcdf::File& f, const ProductTable& t) : f_(f), t_(t) {}

    void write(const std::string& history);

  private:
    template <typename T> struct Pending {
        int var;
        const std::vector<T>* values;
    };

    int var_1d(const std::string& name, nc_type type);
    template <typename T>
    int var_2d(const std::string& name, nc_type type, int wl_dim, std::size_t channels,
               const std::vector<T>& values);
    int double_1d(const std::string& name, const std::vector<double>& values, const char* units,
                  const char* long_name, const char* standard_name = nullptr);
    void value_vars(char which, int wl_dim, std::size_t channels, const std::string& coordinates);
    void globals(const std::string& history);

    netcdf::File& f_;
    const ProductTable& t_;
    int time_dim_ = -1;
    std::vector<Pending<double>> doubles_;
    std::vector<Pending<int>> ints_;
    std::vector<Pending<std::uint8_t>> bytes_;
    std::vector<double> time_s_, wl_a_, wl_c_;
};

int Writer::var_1d(const std::string& name, nc_type type) {
    return f_.define_var(name, type, {time_dim_});
}

// Chunked over all wavelengths, shuffled and deflated.
template <typename T>
int Writer::var_2d(const std::string& name, nc_type type, int wl_dim, std::size_t channels,
                   const std::vector<T>& values) {
    const int v = f_.define_var(name, type, {time_dim_, wl_dim});
    const std::size_t rows = t_.rows();
    if (values.size() != rows * channels)
        throw VelmoraError(f_.what("a variable's values do not fill it"));
    if (rows == 0 || channels == 0)
        return v;
    const std::size_t chunk = time_chunk(rows, channels);
    f_.set_chunked_deflate(v, {chunk, channels}, kDeflateLevel);
    if constexpr (std::is_same_v<T, double>)
        doubles_.push_back({v, &values});
    else if constexpr (std::is_same_v<T, int>)
        ints_.push_back({v, &values});
    else
        bytes_.push_back({v, &values});
    return v;
}

int Writer::double_1d(const std::string& name, const std::vector<double>& values, const char* units,
                      const char* long_name, const char* standard_name) {
    const int v = var_1d(name, NC_DOUBLE);
    f_.put_fill(v, NC_DOUBLE, kNaN);
    if (standard_name)
        f_.put_att(v, "standard_name", standard_name);
    f_.put_att(v, "long_name", long_name);
    f_.put_att(v, "units", units);
    doubles_.push_back({v, &values});
    return v;
}

// a or c with its flags and bin statistics.
void Writer::value_vars(char which, int wl_dim, std::size_t channels,
                        const std::string& coordinates) {
    const bool is_a = which == 'a';
    const std::string name(1, which);
    const std::vector<double>& values = is_a ? t_.a : t_.c;
    std::vector<std::string> corrections;
    for (const std::string& s : t_.info.corrections)
        // The scattering correction is a's alone.
        if (is_a || s.rfind("Scattering correction", 0) != 0)
            corrections.push_back(s);
    std::string long_name = is_a ? "absorption coefficient" : "beam attenuation coefficient";
    long_name += " with pure water removed";
    if (!corrections.empty())
        long_name += "; " + joined(corrections, " ");

    const int v = var_2d(name, NC_DOUBLE, wl_dim, channels, values);
    f_.put_fill(v, NC_DOUBLE, kNaN);
    f_.put_att(v, "long_name", long_name);
    f_.put_att(v, "units", "m-1");
    if (!coordinates.empty())
        f_.put_att(v, "coordinates", coordinates);

    std::vector<std::string> ancillary;
    if (t_.has_qc()) {
        const int q =
            var_2d(name + "_qc", NC_BYTE, wl_dim, channels, is_a ? t_.a_flags : t_.c_flags);
        f_.put_att(q, "long_name", "quality flag of " + name);
        f_.put_att(q, "flag_values",
                   std::vector<std::uint8_t>{qc_flag::kPass, qc_flag::kNotEvaluated,
                                             qc_flag::kSuspect, qc_flag::kFail, qc_flag::kMissing});
        f_.put_att(q, "flag_meanings", "pass not_evaluated suspect fail missing");
        ancillary.push_back(name + "_qc");
        ancillary.push_back("qc");
    }
    if (t_.binned()) {
        const int sd = var_2d(name + "_sd", NC_DOUBLE, wl_dim, channels, is_a ? t_.a_sd : t_.c_sd);
        f_.put_fill(sd, NC_DOUBLE, kNaN);
        f_.put_att(sd, "long_name", "standard deviation of " + name + " in the bin");
        f_.put_att(sd, "units", "m-1");
        const int n = var_2d(name + "_n", NC_INT, wl_dim, channels, is_a ? t_.a_n : t_.c_n);
        f_.put_att(n, "long_name", "values of " + name + " in the bin");
        f_.put_att(n, "units", "1");
        ancillary.push_back(name + "_sd");
        ancillary.push_back(name + "_n");
    }
    if (!ancillary.empty())
        f_.put_att(v, "ancillary_variables", joined(ancillary, " "));
}

void Writer::globals(const std::string& history) {
    const ProductInfo& in = t_.info;
    const std::string now = utc_now();
    std::vector<std::pair<std::string, std::string>> g;
    auto add = [&](const std::string& name, const std::string& value) {
        if (!value.empty())
            g.emplace_back(name, value);
    };
    add("Conventions", "CF-1.8");
    add("title", in.instrument + " absorption (a) and attenuation (c)");
    add("summary", "Absorption and beam attenuation coefficients with pure water removed, measured "
                   "by the " +
                       in.instrument + " meter and processed by Velmora from " + in.input_file +
                       ".");
    add("source", "Velmora 2.0");
    add("history", now + " " + history);
    add("date_created", now);
    add("instrument", in.instrument + ", serial number " + std::to_string(in.serial_number));
    add("device_file", in.device_file);
    add("input_file", in.input_file);
    add("water_file", in.water_file);
    add("ctd_file", in.ctd_file);
    add("gps_file", in.gps_file);
    add("processing", in.processing);
    add("velmora_recipe", in.recipe_json);
    add("featureType", t_.bin_kind == BinKind::Depth ? "profile"
                       : t_.has_gps()                ? "trajectory"
                                                     : "timeSeries");
    // The user's entries come last and replace a default of the same name (a title of their own).
    for (const auto& [name, value] : in.metadata) {
        const auto same =
            std::find_if(g.begin(), g.end(), [&](const auto& e) { return e.first == name; });
        if (same != g.end())
            same->second = value;
        else
            g.emplace_back(name, value);
    }
    for (const auto& [name, value] : g)
        f_.put_att(NC_GLOBAL, name, value);
}

void Writer::write(const std::string& history) {
    const ProductTable& t = t_;
    const std::size_t rows = t.rows();
    time_dim_ = f_.define_dim("time", rows);
    int a_dim = -1, c_dim = -1;
    // One wavelength dimension when a and c share their wavelengths (a common grid, or an
    // instrument whose a and c filters are the same).
    const bool shared = t.common_grid || t.a_wavelengths == t.c_wavelengths;
    if (shared) {
        a_dim = c_dim = f_.define_dim("wavelength", t.a_channels());
    } else {
        a_dim = f_.define_dim("wavelength_a", t.a_channels());
        c_dim = f_.define_dim("wavelength_c", t.c_channels());
    }

    // Coordinates.
    time_s_.resize(rows);
    const int time = var_1d("time", NC_DOUBLE);
    f_.put_att(time, "axis", "T");
    if (t.start_utc) {
        const double start = static_cast<double>(*t.start_utc);
        for (std::size_t i = 0; i < rows; ++i)
            time_s_[i] = (start + t.time[i]) / 1000.0;
        f_.put_att(time, "standard_name", "time");
        f_.put_att(time, "long_name", "time");
        f_.put_att(time, "units", "seconds since 1970-01-01T00:00:00Z");
        f_.put_att(time, "calendar", "standard");
    } else {
        for (std::size_t i = 0; i < rows; ++i)
            time_s_[i] = (t.time[i] - t.time[0]) / 1000.0;
        f_.put_att(time, "long_name", "time since the first record (start time unknown)");
        f_.put_att(time, "units", "seconds");
    }
    doubles_.push_back({time, &time_s_});
    auto wavelength = [&](const std::string& name, int dim, const std::vector<double>& nm,
                          const char* of) {
        const int v = f_.define_var(name, NC_DOUBLE, {dim});
        f_.put_att(v, "standard_name", "radiation_wavelength");
        f_.put_att(v, "long_name", std::string("wavelength") + of);
        f_.put_att(v, "units", "nm");
        doubles_.push_back({v, &nm});
    };
    if (shared) {
        wavelength("wavelength", a_dim, t.a_wavelengths, "");
    } else {
        wavelength("wavelength_a", a_dim, t.a_wavelengths, " of the a channels");
        wavelength("wavelength_c", c_dim, t.c_wavelengths, " of the c channels");
    }
    std::vector<std::string> coords;
    if (t.has_gps()) {
        double_1d("latitude", t.lat, "degrees_north", "latitude", "latitude");
        double_1d("longitude", t.lon, "degrees_east", "longitude", "longitude");
        coords = {"latitude", "longitude"};
    }
    if (!t.depth.empty()) {
        const int v = double_1d("depth", t.depth, "m", "depth of the bin centre", "depth");
        f_.put_att(v, "positive", "down");
        f_.put_att(v, "axis", "Z");
        coords.push_back("depth");
    }
    const std::string coordinates = joined(coords, " ");

    // Values.
    value_vars('a', a_dim, t.a_channels(), coordinates);
    value_vars('c', c_dim, t.c_channels(), coordinates);
    if (t.has_qc()) {
        const int q = var_1d("qc", NC_BYTE);
        f_.put_att(q, "long_name", "quality flag of the record");
        f_.put_att(q, "flag_values",
                   std::vector<std::uint8_t>{qc_flag::kPass, qc_flag::kNotEvaluated,
                                             qc_flag::kSuspect, qc_flag::kFail, qc_flag::kMissing});
        f_.put_att(q, "flag_meanings", "pass not_evaluated suspect fail missing");
        bytes_.push_back({q, &t.flag});
    }
    if (t.binned()) {
        const int n = var_1d("n", NC_INT);
        f_.put_att(n, "long_name", "records in the bin");
        f_.put_att(n, "units", "1");
        ints_.push_back({n, &t.n});
    }
    if (t.has_ctd()) {
        double_1d("temperature", t.temperature, "degree_Celsius", "CTD temperature",
                  "sea_water_temperature");
        double_1d("salinity", t.salinity, "1", "CTD practical salinity",
                  "sea_water_practical_salinity");
        double_1d("pressure", t.pressure, "dbar", "CTD pressure", "sea_water_pressure");
    }
    if (!t.dT.empty())
        double_1d("dT", t.dT, "K", "residual temperature");
    if (!t.chl.empty()) {
        std::string ratio = "ChlA ratio";
        if (!t.a_wavelengths.empty() && !t.c_wavelengths.empty())
            ratio += " ( a(" +
                     text::format_g(t.a_wavelengths[nearest_index(t.a_wavelengths, 676.0)], 6) +
                     ") - a(" +
                     text::format_g(t.a_wavelengths[nearest_index(t.a_wavelengths, 650.0)], 6) +
                     ") ) / c(" +
                     text::format_g(t.c_wavelengths[nearest_index(t.c_wavelengths, 650.0)], 6) +
                     ")";
        double_1d("chl_a", t.chl, "1", ratio.c_str());
    }
    globals(history);
    f_.end_define();

    for (const auto& p : doubles_)
        f_.put(p.var, *p.values);
    for (const auto& p : ints_)
        f_.put(p.var, *p.values);
    for (const auto& p : bytes_)
        f_.put(p.var, *p.values);
}

} // namespace

void write_netcdf(const std::string& path, const ProductTable& t, const std::string& history) {
    const std::string open_error =
        "Unable to open file for saving.  Is this file opened in another program?";
    // The temporary file is made, removed on failure and renamed into place by AtomicFile; the
    // library writes it under that name (replacing the empty file, which keeps its inode, so
    // that commit() puts the library's bytes on the disk before the rename).
    AtomicFile file(path, open_error);
    if (file.temp_path().empty())
        throw VelmoraError(open_error); // a device or pipe: a NetCDF file needs a real file
    {
        // netCDF-C may not be called from two threads at once (the command line corrects
        // several files side by side).
        static std::mutex library;
        const std::lock_guard<std::mutex> lock(library);
        netcdf::File f(file.temp_path(), path);
        Writer w(f, t);
        w.write(history);
        f.close();
    }
    file.commit();
}
