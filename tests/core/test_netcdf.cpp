// The NetCDF file of a product table, read back through the netCDF-C API: dimensions, variables,
// attributes and values, and the whole-file safety of the write.
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <netcdf.h>

#include "files_test_util.h"
#include "netcdf_writer.h"
#include "products.h"

using namespace files_test;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// What a hand-made table holds.
struct Shape {
    std::size_t rows = 4, a_channels = 5, c_channels = 6;
    bool common = false, start = false, gps = false, ctd = false, qc = false;
    BinKind bins = BinKind::None;
    bool dT = false, chl = false;
    // Off a common grid, c on the a wavelengths (an instrument with the same filters for both).
    bool same_wavelengths = false;
    bool shared() const { return common || same_wavelengths; }
};

ProductTable make_table(const Shape& s) {
    ProductTable t;
    t.common_grid = s.common;
    const std::size_t nc = s.shared() ? s.a_channels : s.c_channels;
    for (std::size_t i = 0; i < s.a_channels; ++i)
        t.a_wavelengths.push_back(400.25 + 4.5 * static_cast<double>(i));
    for (std::size_t i = 0; i < nc; ++i)
        t.c_wavelengths.push_back(s.shared() ? t.a_wavelengths[i]
                                             : 401.5 + 3.75 * static_cast<double>(i));
    if (s.start)
        t.start_utc = 1710504030250; // 2024-03-15T12:00:30.250Z
    for (std::size_t r = 0; r < s.rows; ++r) {
        const double k = static_cast<double>(r);
        t.time.push_back(1250.0 + 250.0 * k);
        for (std::size_t i = 0; i < s.a_channels; ++i)
            t.a.push_back(0.1 + 0.001 * k + 1e-7 * static_cast<double>(i) / 3.0);
        for (std::size_t i = 0; i < nc; ++i)
            t.c.push_back(0.4 - 0.002 * k + 1e-6 * static_cast<double>(i) / 7.0);
        if (s.gps) {
            t.lat.push_back(r == 1 ? kNaN : 54.321 + 1e-5 * k);
            t.lon.push_back(r == 1 ? kNaN : -10.5 - 1e-5 * k);
        }
        if (s.ctd) {
            t.temperature.push_back(12.5 + 0.01 * k);
            t.salinity.push_back(31.25);
            t.pressure.push_back(1.5 * k);
        }
        if (s.qc)
            t.flag.push_back(r % 2 ? qc_flag::kSuspect : qc_flag::kPass);
        if (s.dT)
            t.dT.push_back(0.125 * k);
        if (s.chl)
            t.chl.push_back(0.03 + 0.001 * k);
    }
    if (!t.a.empty())
        t.a[1] = kNaN; // a value no record had
    if (s.qc) {
        const std::uint8_t cycle[] = {qc_flag::kPass, qc_flag::kNotEvaluated, qc_flag::kSuspect,
                                      qc_flag::kFail, qc_flag::kMissing};
        for (std::size_t i = 0; i < t.a.size(); ++i)
            t.a_flags.push_back(cycle[i % 5]);
        for (std::size_t i = 0; i < t.c.size(); ++i)
            t.c_flags.push_back(cycle[(i + 2) % 5]);
    }
    t.bin_kind = s.bins;
    if (s.bins != BinKind::None) {
        for (std::size_t r = 0; r < s.rows; ++r)
            t.n.push_back(static_cast<int>(3 + r));
        for (std::size_t i = 0; i < t.a.size(); ++i) {
            t.a_sd.push_back(0.0005 * static_cast<double>(i));
            t.a_n.push_back(static_cast<int>(i % 4));
        }
        for (std::size_t i = 0; i < t.c.size(); ++i) {
            t.c_sd.push_back(0.0007 * static_cast<double>(i));
            t.c_n.push_back(static_cast<int>(i % 3));
        }
        if (s.bins == BinKind::Depth)
            for (std::size_t r = 0; r < s.rows; ++r)
                t.depth.push_back(0.25 + 0.5 * static_cast<double>(r));
    }
    t.info.instrument = "HYP";
    t.info.serial_number = 1392508994;
    t.info.input_file = "cast.dat";
    t.info.device_file = "cast.dev";
    t.info.corrections = {"Using CTD file for temperature.", "Temperature correction applied.",
                          "Scattering correction by proportional subtraction applied at 715.0 nm"};
    t.info.processing = "QC flags set.";
    t.info.recipe_json = "{\"velmora_recipe\":1}";
    return t;
}

// A file opened for reading, with the look-ups the tests make.
class NcReader {
  public:
    explicit NcReader(const std::string& path) {
        status_ = nc_open(path.c_str(), NC_NOWRITE, &id_);
    }
    ~NcReader() {
        if (status_ == NC_NOERR)
            nc_close(id_);
    }
    NcReader(const NcReader&) = delete;
    NcReader& operator=(const NcReader&) = delete;

    bool ok() const { return status_ == NC_NOERR; }
    int id() const { return id_; }

    std::set<std::string> dims() const {
        int n = 0;
        nc_inq_ndims(id_, &n);
        std::set<std::string> names;
        for (int d = 0; d < n; ++d) {
            char name[NC_MAX_NAME + 1];
            std::size_t len = 0;
            nc_inq_dim(id_, d, name, &len);
            names.insert(std::string(name) + "=" + std::to_string(len));
        }
        return names;
    }
    std::set<std::string> vars() const {
        int n = 0;
        nc_inq_nvars(id_, &n);
        std::set<std::string> names;
        for (int v = 0; v < n; ++v) {
            char name[NC_MAX_NAME + 1];
            nc_inq_varname(id_, v, name);
            names.insert(name);
        }
        return names;
    }
    int var(const std::string& name) const {
        int v = -1;
        return nc_inq_varid(id_, name.c_str(), &v) == NC_NOERR ? v : -1;
    }
    // The variable's dimension names, outermost first.
    std::vector<std::string> var_dims(const std::string& name) const {
        int nd = 0;
        int ids[NC_MAX_VAR_DIMS];
        nc_inq_varndims(id_, var(name), &nd);
        nc_inq_vardimid(id_, var(name), ids);
        std::vector<std::string> names;
        for (int i = 0; i < nd; ++i) {
            char dn[NC_MAX_NAME + 1];
            nc_inq_dimname(id_, ids[i], dn);
            names.push_back(dn);
        }
        return names;
    }
    nc_type type(const std::string& name) const {
        nc_type t = NC_NAT;
        nc_inq_vartype(id_, var(name), &t);
        return t;
    }
    // A text attribute of a variable ("" for the file's own); "<none>" when it has none.
    std::string text(const std::string& var_name, const std::string& att) const {
        const int v = var_name.empty() ? NC_GLOBAL : var(var_name);
        std::size_t len = 0;
        nc_type t = NC_NAT;
        if (nc_inq_att(id_, v, att.c_str(), &t, &len) != NC_NOERR || t != NC_CHAR)
            return "<none>";
        std::string s(len, '\0');
        nc_get_att_text(id_, v, att.c_str(), s.data());
        return s;
    }
    std::vector<double> doubles(const std::string& name) const {
        std::vector<double> v(size(name));
        nc_get_var_double(id_, var(name), v.data());
        return v;
    }
    std::vector<int> ints(const std::string& name) const {
        std::vector<int> v(size(name));
        nc_get_var_int(id_, var(name), v.data());
        return v;
    }
    std::vector<std::uint8_t> bytes(const std::string& name) const {
        std::vector<std::uint8_t> v(size(name));
        nc_get_var_uchar(id_, var(name), v.data());
        return v;
    }
    std::vector<int> int_att(const std::string& var_name, const std::string& att) const {
        std::size_t len = 0;
        if (nc_inq_attlen(id_, var(var_name), att.c_str(), &len) != NC_NOERR)
            return {};
        std::vector<int> v(len);
        nc_get_att_int(id_, var(var_name), att.c_str(), v.data());
        return v;
    }

  private:
    std::size_t size(const std::string& name) const {
        std::size_t n = 1;
        int nd = 0;
        int ids[NC_MAX_VAR_DIMS];
        nc_inq_varndims(id_, var(name), &nd);
        nc_inq_vardimid(id_, var(name), ids);
        for (int i = 0; i < nd; ++i) {
            std::size_t len = 0;
            nc_inq_dimlen(id_, ids[i], &len);
            n *= len;
        }
        return n;
    }
    int id_ = -1;
    int status_ = NC_NOERR;
};

// Equal bit for bit, NaN where NaN.
void expect_same(const std::vector<double>& got, const std::vector<double>& want,
                 const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_TRUE(got[i] == want[i] || (std::isnan(got[i]) && std::isnan(want[i])))
            << what << "[" << i << "]: " << got[i] << " vs " << want[i];
}

class NetcdfWrite : public ScratchDir {};

} // namespace

// Each shape of table gives its own dimensions and variables, and every value comes back.
TEST_F(NetcdfWrite, LayoutAndValuesOfEachKindOfTable) {
    struct Case {
        const char* what;
        Shape shape;
        std::set<std::string> dims;
        std::set<std::string> extra_vars; // beyond time and a, c and their wavelengths
        const char* feature;
    };
    Shape native;
    Shape common_start_gps_qc;
    common_start_gps_qc.common = common_start_gps_qc.start = common_start_gps_qc.gps = true;
    common_start_gps_qc.qc = common_start_gps_qc.chl = true;
    Shape depth_bins_ctd;
    depth_bins_ctd.bins = BinKind::Depth;
    depth_bins_ctd.ctd = depth_bins_ctd.qc = depth_bins_ctd.start = true;
    Shape time_bins_residual;
    time_bins_residual.bins = BinKind::Time;
    time_bins_residual.common = time_bins_residual.dT = true;
    Shape same_filters;
    same_filters.same_wavelengths = true;
    Shape one_record;
    one_record.rows = 1;
    one_record.gps = one_record.ctd = one_record.start = true;
    const std::vector<Case> cases = {
        {"native grid", native, {"time=4", "wavelength_a=5", "wavelength_c=6"}, {}, "timeSeries"},
        {"common grid, start, GPS, QC",
         common_start_gps_qc,
         {"time=4", "wavelength=5"},
         {"latitude", "longitude", "a_qc", "c_qc", "qc", "chl_a"},
         "trajectory"},
        {"depth bins, CTD, QC",
         depth_bins_ctd,
         {"time=4", "wavelength_a=5", "wavelength_c=6"},
         {"depth", "n", "a_sd", "c_sd", "a_n", "c_n", "a_qc", "c_qc", "qc", "temperature",
          "salinity", "pressure"},
         "profile"},
        {"time bins, residual temperature",
         time_bins_residual,
         {"time=4", "wavelength=5"},
         {"n", "a_sd", "c_sd", "a_n", "c_n", "dT"},
         "timeSeries"},
        {"native a and c on the same wavelengths",
         same_filters,
         {"time=4", "wavelength=5"},
         {},
         "timeSeries"},
        {"one record",
         one_record,
         {"time=1", "wavelength_a=5", "wavelength_c=6"},
         {"latitude", "longitude", "temperature", "salinity", "pressure"},
         "trajectory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ProductTable t = make_table(c.shape);
        const std::string file = path("out.nc");
        write_netcdf(file, t, "velmora-cli correct cast.dat");
        const NcReader nc(file);
        ASSERT_TRUE(nc.ok());
        int format = 0;
        nc_inq_format(nc.id(), &format);
        EXPECT_EQ(format, NC_FORMAT_NETCDF4);
        EXPECT_EQ(nc.dims(), c.dims);
        std::set<std::string> vars = c.extra_vars;
        vars.insert({"time", "a", "c"});
        if (c.shape.shared())
            vars.insert("wavelength");
        else
            vars.insert({"wavelength_a", "wavelength_c"});
        EXPECT_EQ(nc.vars(), vars);
        EXPECT_EQ(nc.text("", "featureType"), c.feature);

        const std::string wa = c.shape.shared() ? "wavelength" : "wavelength_a";
        const std::string wc = c.shape.shared() ? "wavelength" : "wavelength_c";
        EXPECT_EQ(nc.var_dims("a"), (std::vector<std::string>{"time", wa}));
        EXPECT_EQ(nc.var_dims("c"), (std::vector<std::string>{"time", wc}));
        expect_same(nc.doubles(wa), t.a_wavelengths, wa);
        expect_same(nc.doubles(wc), t.c_wavelengths, wc);
        expect_same(nc.doubles("a"), t.a, "a");
        expect_same(nc.doubles("c"), t.c, "c");
        EXPECT_EQ(nc.text("a", "units"), "m-1");
        EXPECT_EQ(nc.text(wa, "units"), "nm");
        EXPECT_EQ(nc.text(wa, "standard_name"), "radiation_wavelength");

        // Time: seconds since 1970 with a start time, else since the first record.
        std::vector<double> want_time;
        for (const double ms : t.time)
            want_time.push_back(t.start_utc ? (static_cast<double>(*t.start_utc) + ms) / 1000.0
                                            : (ms - t.time[0]) / 1000.0);
        expect_same(nc.doubles("time"), want_time, "time");
        EXPECT_EQ(nc.text("time", "units"),
                  t.start_utc ? "seconds since 1970-01-01T00:00:00Z" : "seconds");
        EXPECT_EQ(nc.text("time", "calendar"), t.start_utc ? "standard" : "<none>");
        EXPECT_EQ(nc.text("time", "long_name"),
                  t.start_utc ? "time" : "time since the first record (start time unknown)");

        std::string coordinates;
        if (c.shape.gps)
            coordinates = "latitude longitude";
        if (c.shape.bins == BinKind::Depth)
            coordinates = "depth";
        EXPECT_EQ(nc.text("a", "coordinates"), coordinates.empty() ? "<none>" : coordinates);
        std::string ancillary;
        if (c.shape.qc)
            ancillary = "a_qc qc";
        if (c.shape.bins != BinKind::None)
            ancillary += std::string(ancillary.empty() ? "" : " ") + "a_sd a_n";
        EXPECT_EQ(nc.text("a", "ancillary_variables"), ancillary.empty() ? "<none>" : ancillary);

        if (c.shape.gps) {
            expect_same(nc.doubles("latitude"), t.lat, "latitude");
            expect_same(nc.doubles("longitude"), t.lon, "longitude");
            EXPECT_EQ(nc.text("longitude", "units"), "degrees_east");
        }
        if (c.shape.ctd) {
            expect_same(nc.doubles("temperature"), t.temperature, "temperature");
            expect_same(nc.doubles("salinity"), t.salinity, "salinity");
            expect_same(nc.doubles("pressure"), t.pressure, "pressure");
            EXPECT_EQ(nc.text("temperature", "standard_name"), "sea_water_temperature");
            EXPECT_EQ(nc.text("salinity", "standard_name"), "sea_water_practical_salinity");
            EXPECT_EQ(nc.text("pressure", "units"), "dbar");
        }
        if (c.shape.qc) {
            EXPECT_EQ(nc.type("a_qc"), NC_BYTE);
            EXPECT_EQ(nc.bytes("a_qc"), t.a_flags);
            EXPECT_EQ(nc.bytes("c_qc"), t.c_flags);
            EXPECT_EQ(nc.bytes("qc"), t.flag);
            EXPECT_EQ(nc.var_dims("qc"), std::vector<std::string>{"time"});
            for (const char* v : {"a_qc", "c_qc", "qc"}) {
                EXPECT_EQ(nc.int_att(v, "flag_values"), (std::vector<int>{1, 2, 3, 4, 9})) << v;
                EXPECT_EQ(nc.text(v, "flag_meanings"), "pass not_evaluated suspect fail missing");
            }
        }
        if (c.shape.bins != BinKind::None) {
            expect_same(nc.doubles("a_sd"), t.a_sd, "a_sd");
            expect_same(nc.doubles("c_sd"), t.c_sd, "c_sd");
            EXPECT_EQ(nc.ints("a_n"), t.a_n);
            EXPECT_EQ(nc.ints("c_n"), t.c_n);
            EXPECT_EQ(nc.ints("n"), t.n);
            EXPECT_EQ(nc.type("n"), NC_INT);
        }
        if (c.shape.bins == BinKind::Depth) {
            expect_same(nc.doubles("depth"), t.depth, "depth");
            EXPECT_EQ(nc.text("depth", "positive"), "down");
        }
        if (c.shape.dT)
            expect_same(nc.doubles("dT"), t.dT, "dT");
        if (c.shape.chl)
            expect_same(nc.doubles("chl_a"), t.chl, "chl_a");
    }
}

// The 2-D variables are chunked along time over all wavelengths and compressed; NaN fills.
TEST_F(NetcdfWrite, TwoDimensionalVariablesAreChunkedAndCompressed) {
    struct Case {
        std::size_t rows, channels, chunk;
    };
    for (const Case c : {Case{3000, 86, 762}, Case{10, 86, 10}, Case{20000, 9, 4096}}) {
        Shape s;
        s.rows = c.rows;
        s.a_channels = c.channels;
        s.common = s.qc = true;
        s.bins = BinKind::Time;
        const ProductTable t = make_table(s);
        write_netcdf(path("big.nc"), t, "test");
        const NcReader nc(path("big.nc"));
        ASSERT_TRUE(nc.ok());
        for (const char* v : {"a", "c", "a_qc", "c_qc", "a_sd", "c_sd", "a_n", "c_n"}) {
            int storage = -1;
            std::size_t chunks[2] = {0, 0};
            nc_inq_var_chunking(nc.id(), nc.var(v), &storage, chunks);
            EXPECT_EQ(storage, NC_CHUNKED) << v;
            EXPECT_EQ(chunks[0], c.chunk) << v << " rows " << c.rows;
            EXPECT_EQ(chunks[1], c.channels) << v;
            int shuffle = 0, deflate = 0, level = 0;
            nc_inq_var_deflate(nc.id(), nc.var(v), &shuffle, &deflate, &level);
            EXPECT_TRUE(shuffle && deflate) << v;
            EXPECT_EQ(level, 4) << v;
        }
        double fill = 0;
        nc_get_att_double(nc.id(), nc.var("a"), "_FillValue", &fill);
        EXPECT_TRUE(std::isnan(fill));
        // Every chunk, the last one reaching past the end, holds its rows' values.
        expect_same(nc.doubles("a"), t.a, "a");
        expect_same(nc.doubles("c_sd"), t.c_sd, "c_sd");
        EXPECT_EQ(nc.bytes("c_qc"), t.c_flags);
        EXPECT_EQ(nc.ints("a_n"), t.a_n);
    }
}

TEST_F(NetcdfWrite, GlobalAttributesAndDescriptions) {
    ProductTable t = make_table(Shape{});
    t.info.water_file = "water.wcf";
    t.info.metadata = {{"cruise", "EX2401"}, {"investigators", "A_Author"}, {"title", "Our cast"}};
    write_netcdf(path("g.nc"), t, "velmora-cli correct cast.dat -o out.txt");
    const NcReader nc(path("g.nc"));
    ASSERT_TRUE(nc.ok());
    const std::map<std::string, std::string> want = {
        {"Conventions", "CF-1.8"},
        {"source", "Velmora 2.0"},
        {"instrument", "HYP, serial number 1392508994"},
        {"device_file", "cast.dev"},
        {"input_file", "cast.dat"},
        {"water_file", "water.wcf"},
        {"processing", "QC flags set."},
        {"velmora_recipe", "{\"velmora_recipe\":1}"},
        {"cruise", "EX2401"},
        {"investigators", "A_Author"},
        {"title", "Our cast"}, // the user's title replaces the default
    };
    for (const auto& [name, value] : want)
        EXPECT_EQ(nc.text("", name), value) << name;
    EXPECT_NE(nc.text("", "summary"), "<none>");
    EXPECT_EQ(nc.text("", "ctd_file"), "<none>"); // none merged

    // "2026-01-31T12:00:00Z velmora-cli ...", the same time as date_created.
    const std::string created = nc.text("", "date_created");
    ASSERT_EQ(created.size(), 20u) << created;
    EXPECT_TRUE(created[4] == '-' && created[10] == 'T' && created[19] == 'Z') << created;
    EXPECT_EQ(nc.text("", "history"), created + " velmora-cli correct cast.dat -o out.txt");

    // The descriptions say that water is removed and name the corrections; c was not
    // corrected for scattering.
    EXPECT_EQ(nc.text("a", "long_name"),
              "absorption coefficient with pure water removed; Using CTD file for temperature. "
              "Temperature correction applied. Scattering correction by proportional "
              "subtraction applied at 715.0 nm");
    EXPECT_EQ(nc.text("c", "long_name"),
              "beam attenuation coefficient with pure water removed; Using CTD file for "
              "temperature. Temperature correction applied.");
}

// A write that fails leaves the earlier file as it was and no temporary file behind.
TEST_F(NetcdfWrite, FailureKeepsTheEarlierFileAndLeavesNothingBehind) {
    struct Case {
        const char* what;
        void (*damage)(ProductTable&);
        const char* error;
    };
    const std::vector<Case> cases = {
        {"short values", [](ProductTable& t) { t.c.pop_back(); },
         "Unable to write the NetCDF file OUT (a variable's values do not fill it)"},
        {"short flags",
         [](ProductTable& t) {
             t.flag = {1, 1, 1, 1};
             t.a_flags = {1};
             t.c_flags.assign(t.c.size(), 1);
         },
         "Unable to write the NetCDF file OUT (a variable's values do not fill it)"},
        {"metadata name the library refuses",
         [](ProductTable& t) { t.info.metadata["bad/name"] = "x"; },
         "Unable to write the NetCDF file OUT (attribute bad/name): NetCDF: Name contains "
         "illegal characters."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = path("old.nc");
        write_text(file, "precious\n");
        ProductTable t = make_table(Shape{});
        c.damage(t);
        std::string want = c.error;
        want.replace(want.find("OUT"), 3, file);
        EXPECT_EQ(error_of([&] { write_netcdf(file, t, "test"); }), want);
        EXPECT_EQ(read_text(file), "precious\n");
        EXPECT_EQ(entries(), std::vector<std::string>{"old.nc"});
    }
    EXPECT_EQ(error_of([&] { write_netcdf(path("no/such/folder.nc"), make_table(Shape{}), ""); }),
              "Unable to open file for saving.  Is this file opened in another program?");
    EXPECT_EQ(entries(), std::vector<std::string>{"old.nc"});
}

// Files written from several threads at once (the command line corrects files side by side)
// each come out whole.
TEST_F(NetcdfWrite, ThreadsWritingFilesSideBySide) {
    Shape s;
    s.rows = 2000;
    s.qc = s.start = true;
    const ProductTable t = make_table(s);
    std::vector<std::thread> threads;
    std::vector<std::string> errors(4);
    auto file_of = [&](std::size_t k) {
        std::string name = path("f");
        name += std::to_string(k);
        return name + ".nc";
    };
    for (std::size_t k = 0; k < errors.size(); ++k)
        threads.emplace_back(
            [&, k] { errors[k] = error_of([&] { write_netcdf(file_of(k), t, "test"); }); });
    for (std::thread& th : threads)
        th.join();
    for (std::size_t k = 0; k < errors.size(); ++k) {
        EXPECT_EQ(errors[k], "") << k;
        const NcReader nc(file_of(k));
        ASSERT_TRUE(nc.ok()) << k;
        expect_same(nc.doubles("a"), t.a, "a");
        EXPECT_EQ(nc.bytes("c_qc"), t.c_flags);
    }
}
