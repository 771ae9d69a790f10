// SeaBASS files: the writer on hand-made product tables, and the checker on written files damaged
// one rule at a time.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "clock_time.h"
#include "files_test_util.h"
#include "products.h"
#include "seabass.h"

namespace {

using namespace files_test;

// Every keyword the data cannot give, for a station without GPS.
std::map<std::string, std::string> full_metadata() {
    return {
        {"investigators", "Ada Lovelace,Mary Somerville"},
        {"affiliations", "Velmora Lab"},
        {"contact", "ada@example.org"},
        {"experiment", "TESTS"},
        {"cruise", "TC2024"},
        {"station", "S1"},
        {"documents", "README.txt"},
        {"data_status", "preliminary"},
        {"north_latitude", "45.5"},
        {"south_latitude", "45.5"},
        {"east_longitude", "-70.25"},
        {"west_longitude", "-70.25[DEG]"},
    };
}

// `rows` records every 500 ms from 23:59:58.250 on 15 March 2024, on a common grid of three
// channels; a = 0.1 + 0.01 i + 0.001 r, c = 0.5 + 0.02 i + 0.002 r.
ProductTable make_table(std::size_t rows, std::vector<double> wl = {412.5, 440.0, 715.0}) {
    ProductTable t;
    t.a_wavelengths = wl;
    t.c_wavelengths = wl;
    t.common_grid = true;
    t.start_utc = *clock_time::parse_iso("2024-03-15T23:59:58.250Z");
    for (std::size_t r = 0; r < rows; ++r) {
        t.time.push_back(500.0 * static_cast<double>(r));
        for (std::size_t i = 0; i < wl.size(); ++i) {
            t.a.push_back(0.1 + 0.01 * static_cast<double>(i) + 0.001 * static_cast<double>(r));
            t.c.push_back(0.5 + 0.02 * static_cast<double>(i) + 0.002 * static_cast<double>(r));
        }
    }
    t.info.instrument = "HYP";
    t.info.serial_number = 123;
    t.info.input_file = "/data/cruise/cast 1.dat";
    t.info.device_file = "/data/cal/HYP123.dev";
    t.info.water_file = "/data/cal/water 0315.wcf";
    t.info.corrections = {"Using constant temperature 21.0 degrees.",
                          "Using constant salinity 17.0 psu.", "Temperature correction applied.",
                          "Scattering correction by proportional subtraction applied at 715.0 nm"};
    t.info.metadata = full_metadata();
    return t;
}

void add_ctd(ProductTable& t) {
    for (std::size_t r = 0; r < t.rows(); ++r) {
        t.temperature.push_back(10.0 + 0.1 * static_cast<double>(r));
        t.salinity.push_back(33.0);
        t.pressure.push_back(1.5 * static_cast<double>(r));
    }
}

void add_gps(ProductTable& t) {
    for (std::size_t r = 0; r < t.rows(); ++r) {
        t.lat.push_back(45.0 + 0.001 * static_cast<double>(r));
        t.lon.push_back(-70.0 - 0.002 * static_cast<double>(r));
    }
}

// Two bins of the rows' values with made-up statistics.
void make_binned(ProductTable& t, BinKind kind) {
    t.bin_kind = kind;
    const std::size_t values = t.a.size();
    t.a_sd.assign(values, 0.004);
    t.c_sd.assign(values, 0.008);
    t.a_n.assign(values, 3);
    t.c_n.assign(values, 3);
    t.n.assign(t.rows(), 3);
    if (kind == BinKind::Depth)
        for (std::size_t r = 0; r < t.rows(); ++r)
            t.depth.push_back(0.5 + static_cast<double>(r));
}

std::vector<std::string> header_and_data(const std::string& path) {
    return split_lines(read_text(path));
}

// The value of a /keyword= line.
std::string keyword(const std::vector<std::string>& lines, const std::string& key) {
    for (const std::string& l : lines)
        if (l.rfind("/" + key + "=", 0) == 0)
            return l.substr(key.size() + 2);
    return "<none>";
}

std::vector<std::string> data_lines(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    bool data = false;
    for (const std::string& l : lines) {
        if (data)
            out.push_back(l);
        data = data || l == "/end_header";
    }
    return out;
}

class Seabass : public ScratchDir {};

// The whole file of a plain table: every keyword in order, the comments, the rows.
TEST_F(Seabass, WritesTheWholeFileOfAPlainTable) {
    ProductTable t = make_table(5);
    t.info.processing = "c onto a wavelengths; QC flags.";
    const std::string out = path("cast1.sb");
    seabass::write_file(out, t);
    EXPECT_EQ(read_text(out), "/begin_header\n"
                              "/investigators=Ada_Lovelace,Mary_Somerville\n"
                              "/affiliations=Velmora_Lab\n"
                              "/contact=ada@example.org\n"
                              "/experiment=TESTS\n"
                              "/cruise=TC2024\n"
                              "/station=S1\n"
                              "/data_file_name=cast1.sb\n"
                              "/documents=README.txt\n"
                              "/calibration_files=HYP123.dev,water_0315.wcf\n"
                              "/data_type=flow_thru\n"
                              "/data_status=preliminary\n"
                              "/start_date=20240315\n"
                              "/end_date=20240316\n"
                              "/start_time=23:59:58[GMT]\n"
                              "/end_time=00:00:00[GMT]\n"
                              "/north_latitude=45.5[DEG]\n"
                              "/south_latitude=45.5[DEG]\n"
                              "/east_longitude=-70.25[DEG]\n"
                              "/west_longitude=-70.25[DEG]\n"
                              "/water_depth=NA\n"
                              "/measurement_depth=NA\n"
                              "! Written by Velmora version 2.0 from cast 1.dat (HYP serial 123)\n"
                              "! Dates and times are UTC.\n"
                              "! Using constant temperature 21.0 degrees.\n"
                              "! Using constant salinity 17.0 psu.\n"
                              "! Temperature correction applied.\n"
                              "! Scattering correction by proportional subtraction applied at "
                              "715.0 nm\n"
                              "! Temperature and salinity coefficients of pure water: Sullivan et "
                              "al. 2006.\n"
                              "! Processing: c onto a wavelengths; QC flags.\n"
                              "/missing=-9999\n"
                              "/delimiter=comma\n"
                              "/fields=date,time,agp412.5,agp440,agp715,cgp412.5,cgp440,cgp715\n"
                              "/units=yyyymmdd,hh:mm:ss,1/m,1/m,1/m,1/m,1/m,1/m\n"
                              "/end_header\n"
                              "20240315,23:59:58,0.1,0.11,0.12,0.5,0.52,0.54\n"
                              "20240315,23:59:58,0.101,0.111,0.121,0.502,0.522,0.542\n"
                              "20240315,23:59:59,0.102,0.112,0.122,0.504,0.524,0.544\n"
                              "20240315,23:59:59,0.103,0.113,0.123,0.506,0.526,0.546\n"
                              "20240316,00:00:00,0.104,0.114,0.124,0.508,0.528,0.548\n");
    EXPECT_EQ(entries(), std::vector<std::string>{"cast1.sb"});
}

// Which fields, units and data type each kind of table gets, and its first data line.
TEST_F(Seabass, FieldsFollowTheTable) {
    struct Case {
        const char* name;
        std::function<void(ProductTable&)> setup;
        const char* fields; // after date,time
        const char* units;  // after yyyymmdd,hh:mm:ss
        const char* data_type;
        const char* first_row;
    };
    const std::string spectra = "agp412.5,agp440,agp715,cgp412.5,cgp440,cgp715";
    const std::string m6 = "1/m,1/m,1/m,1/m,1/m,1/m";
    const Case cases[] = {
        {"plain", [](ProductTable&) {}, "", "", "flow_thru",
         "20240315,23:59:58,0.1,0.11,0.12,0.5,0.52,0.54"},
        {"gps", add_gps, "lat,lon,", "degrees,degrees,", "flow_thru",
         "20240315,23:59:58,45,-70,0.1,0.11,0.12,0.5,0.52,0.54"},
        {"ctd", add_ctd, "depth,wt,sal,", "m,degreesC,psu,", "cast",
         "20240315,23:59:58,0,10,33,0.1,0.11,0.12,0.5,0.52,0.54"},
        {"gps and ctd",
         [](ProductTable& t) {
             add_gps(t);
             add_ctd(t);
         },
         "lat,lon,depth,wt,sal,", "degrees,degrees,m,degreesC,psu,", "cast",
         "20240315,23:59:58,45,-70,0,10,33,0.1,0.11,0.12,0.5,0.52,0.54"},
        {"depth bins",
         [](ProductTable& t) {
             add_ctd(t);
             make_binned(t, BinKind::Depth);
         },
         "depth,wt,sal,", "m,degreesC,psu,", "cast",
         "20240315,23:59:58,0.5,10,33,0.1,0.11,0.12,0.5,0.52,0.54,"
         "0.004,0.004,0.004,0.008,0.008,0.008,3"},
        {"time bins", [](ProductTable& t) { make_binned(t, BinKind::Time); }, "", "", "flow_thru",
         "20240315,23:59:58,0.1,0.11,0.12,0.5,0.52,0.54,0.004,0.004,0.004,0.008,0.008,0.008,3"},
        {"metadata data_type",
         [](ProductTable& t) {
             add_ctd(t);
             t.info.metadata["data_type"] = "mooring";
         },
         "depth,wt,sal,", "m,degreesC,psu,", "mooring",
         "20240315,23:59:58,0,10,33,0.1,0.11,0.12,0.5,0.52,0.54"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProductTable t = make_table(3);
        c.setup(t);
        const std::string out = path("t.sb");
        seabass::write_file(out, t);
        const std::vector<std::string> lines = header_and_data(out);
        std::string fields = std::string("date,time,") + c.fields + spectra;
        std::string units = std::string("yyyymmdd,hh:mm:ss,") + c.units + m6;
        if (t.binned()) {
            fields += ",agp412.5_sd,agp440_sd,agp715_sd,cgp412.5_sd,cgp440_sd,cgp715_sd,bincount";
            units += "," + m6 + ",none";
        }
        EXPECT_EQ(keyword(lines, "fields"), fields);
        EXPECT_EQ(keyword(lines, "units"), units);
        EXPECT_EQ(keyword(lines, "data_type"), c.data_type);
        ASSERT_EQ(data_lines(lines).size(), 3u);
        EXPECT_EQ(data_lines(lines)[0], c.first_row);
    }
}

// Positions from GPS give the bounds (the metadata's are not used), extremes of the finite ones.
TEST_F(Seabass, BoundsComeFromTheGpsPositions) {
    ProductTable t = make_table(4);
    add_gps(t);
    t.lat[3] = NAN; // a record far from any fix
    t.lon[3] = NAN;
    const std::string out = path("gps.sb");
    seabass::write_file(out, t);
    const std::vector<std::string> lines = header_and_data(out);
    EXPECT_EQ(keyword(lines, "north_latitude"), "45.002[DEG]");
    EXPECT_EQ(keyword(lines, "south_latitude"), "45[DEG]");
    EXPECT_EQ(keyword(lines, "east_longitude"), "-70[DEG]");
    EXPECT_EQ(keyword(lines, "west_longitude"), "-70.004[DEG]");
    EXPECT_EQ(data_lines(lines)[3].substr(0, 30), "20240315,23:59:59,-9999,-9999,");
}

// Values flagged 4 or 9, and NaN values, are the missing value; a flag of 3 keeps the value, and
// a bin's standard deviation follows its value's flag.
TEST_F(Seabass, FailedMissingAndNanValuesAreWrittenAsMissing) {
    ProductTable t = make_table(2);
    t.a_flags.assign(6, qc_flag::kPass);
    t.c_flags.assign(6, qc_flag::kPass);
    t.flag.assign(2, qc_flag::kSuspect);
    t.a_flags[0] = qc_flag::kFail;
    t.a_flags[1] = qc_flag::kSuspect;
    t.c_flags[5] = qc_flag::kMissing;
    t.c_flags[4] = qc_flag::kNotEvaluated;
    t.a[5] = NAN;
    make_binned(t, BinKind::Time);
    const std::string out = path("qc.sb");
    seabass::write_file(out, t);
    const std::vector<std::string> lines = header_and_data(out);
    const std::vector<std::string> rows = data_lines(lines);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0],
              "20240315,23:59:58,-9999,0.11,0.12,0.5,0.52,0.54,-9999,0.004,0.004,0.008,0.008,"
              "0.008,3");
    EXPECT_EQ(rows[1],
              "20240315,23:59:58,0.101,0.111,-9999,0.502,0.522,-9999,0.004,0.004,0.004,0.008,"
              "0.008,-9999,3");
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "! Values flagged 4 (fail) or 9 (missing) by QC are written as -9999."),
              lines.end());
}

// FLW-like wavelengths: a and c lists of their own, names with one decimal, ".0" dropped.
TEST_F(Seabass, WavelengthNames) {
    EXPECT_EQ(seabass::wavelength_name(412.5), "412.5");
    EXPECT_EQ(seabass::wavelength_name(440.0), "440");
    EXPECT_EQ(seabass::wavelength_name(439.96), "440");
    EXPECT_EQ(seabass::wavelength_name(676.04), "676");

    ProductTable t = make_table(2, {412.3, 440.0, 488.1, 510.0, 532.0, 555.0, 650.0, 676.0, 715.0});
    t.c_wavelengths = {412.6, 440.2, 488.0, 510.3, 532.0, 554.9, 650.1, 676.0, 714.8};
    t.common_grid = false;
    t.info.instrument = "FLW";
    const std::string out = path("flw.sb");
    seabass::write_file(out, t);
    EXPECT_EQ(keyword(header_and_data(out), "fields"),
              "date,time,agp412.3,agp440,agp488.1,agp510,agp532,agp555,agp650,agp676,agp715,"
              "cgp412.6,cgp440.2,cgp488,cgp510.3,cgp532,cgp554.9,cgp650.1,cgp676,cgp714.8");
}

// One record: start and end are the same, the file passes the check.
TEST_F(Seabass, OneRecord) {
    ProductTable t = make_table(1);
    add_gps(t);
    const std::string out = path("one.sb");
    seabass::write_file(out, t);
    const std::vector<std::string> lines = header_and_data(out);
    EXPECT_EQ(keyword(lines, "start_time"), "23:59:58[GMT]");
    EXPECT_EQ(keyword(lines, "end_time"), "23:59:58[GMT]");
    EXPECT_EQ(keyword(lines, "north_latitude"), keyword(lines, "south_latitude"));
    EXPECT_EQ(data_lines(lines).size(), 1u);
    EXPECT_TRUE(seabass::check_file(out).empty());
}

// Metadata: blanks become '_', keywords in any case, the data's values win over the metadata's,
// optional keywords are written and other names are not.
TEST_F(Seabass, MetadataFromTheInfoMap) {
    ProductTable t = make_table(2);
    add_gps(t);
    t.info.water_file.clear();
    t.info.metadata.erase("cruise");
    t.info.metadata["Cruise"] = "  Spring  cruise ";
    t.info.metadata["start_date"] = "19990101"; // the data know better
    t.info.metadata["north_latitude"] = "10";   // as the GPS positions do
    t.info.metadata["water_depth"] = "120.5";
    t.info.metadata["measurement_depth"] = "3";
    t.info.metadata["instrument_model"] = "HYP 2";
    t.info.metadata["title"] = "A title for NetCDF"; // no SeaBASS keyword
    const std::string out = path("meta.sb");
    seabass::write_file(out, t);
    const std::vector<std::string> lines = header_and_data(out);
    EXPECT_EQ(keyword(lines, "cruise"), "Spring__cruise");
    EXPECT_EQ(keyword(lines, "start_date"), "20240315");
    EXPECT_EQ(keyword(lines, "north_latitude"), "45.001[DEG]");
    EXPECT_EQ(keyword(lines, "water_depth"), "120.5");
    EXPECT_EQ(keyword(lines, "measurement_depth"), "3");
    EXPECT_EQ(keyword(lines, "calibration_files"), "HYP123.dev");
    EXPECT_EQ(keyword(lines, "instrument_model"), "HYP_2");
    EXPECT_EQ(keyword(lines, "title"), "<none>");

    // A data set that does not know its device file's name takes the user's list, and the
    // water file is added to it unless named already.
    t = make_table(2);
    t.info.device_file.clear();
    for (const char* given : {"HYP 123.dev", "HYP_123.dev,water_0315.wcf"}) {
        t.info.metadata["calibration_files"] = given;
        seabass::write_file(out, t);
        EXPECT_EQ(keyword(header_and_data(out), "calibration_files"), "HYP_123.dev,water_0315.wcf");
    }
}

// What cannot be written: no start time, missing metadata (every missing keyword named, in
// order), a value the check refuses; nothing is left behind.
TEST_F(Seabass, RefusesWhatCannotBeWritten) {
    struct Case {
        const char* name;
        std::function<void(ProductTable&)> setup;
        const char* message;
    };
    const Case cases[] = {
        {"no start time", [](ProductTable& t) { t.start_utc.reset(); },
         "SeaBASS files need the start time of the data (--start)."},
        {"missing metadata",
         [](ProductTable& t) {
             for (const char* k : {"investigators", "cruise", "station", "documents",
                                   "north_latitude", "west_longitude"})
                 t.info.metadata.erase(k);
             t.info.metadata["contact"] = "  ";
             t.info.device_file.clear(); // the water file alone does not do
         },
         "SeaBASS header needs: investigators, contact, cruise, station, documents, "
         "calibration_files, north_latitude, west_longitude (give them with --meta KEY=VALUE)."},
        {"no records",
         [](ProductTable& t) {
             t.time.clear();
             t.a.clear();
             t.c.clear();
         },
         "SeaBASS files need at least one record."},
        {"a depth the check refuses",
         [](ProductTable& t) { t.info.metadata["water_depth"] = "deep"; },
         "The SeaBASS file fails its check and was not kept:\n"
         "OUT:21: error: /water_depth must be a depth in m or NA, not 'deep'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProductTable t = make_table(3);
        c.setup(t);
        const std::string out = path("x.sb");
        std::string expected = c.message;
        if (const std::size_t at = expected.find("OUT"); at != std::string::npos)
            expected.replace(at, 3, out);
        EXPECT_EQ(error_of([&] { seabass::write_file(out, t); }), expected);
        EXPECT_TRUE(entries().empty());
    }
    // Bounds are needed only without positions.
    ProductTable t = make_table(2);
    add_gps(t);
    for (const char* k : {"north_latitude", "south_latitude", "east_longitude", "west_longitude"})
        t.info.metadata.erase(k);
    EXPECT_TRUE(seabass::missing_keywords(t).empty());
}

// Each rule of the check, shown by damaging one line of a written file that passes it.
TEST_F(Seabass, CheckerFindsEachDamage) {
    ProductTable t = make_table(3);
    add_gps(t);
    add_ctd(t);
    make_binned(t, BinKind::Time);
    const std::string out = path("good.sb");
    seabass::write_file(out, t);
    const std::string good = read_text(out);
    ASSERT_TRUE(seabass::check_text(good, "good.sb").empty());
    const std::vector<std::string> lines = split_lines(good);
    const auto line_of = [&](const std::string& prefix) {
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].rfind(prefix, 0) == 0)
                return i;
        ADD_FAILURE() << "no line " << prefix;
        return std::size_t{0};
    };
    const std::size_t first_row = line_of("/end_header") + 1;

    struct Case {
        const char* name;
        std::string line_prefix; // the line damaged; "" for a line added at the end
        std::function<std::string(const std::string&)> damage; // empty text removes the line
        std::size_t finding_line;                              // 0: the file as a whole
        bool error;
        const char* text_has;
    };
    const auto replace = [](std::string from, std::string to) {
        return [=](const std::string& l) {
            std::string s = l;
            s.replace(s.find(from), from.size(), to);
            return s;
        };
    };
    const auto remove = [](const std::string&) { return std::string(); };
    const std::size_t fields = line_of("/fields=") + 1, units = line_of("/units=") + 1;
    const std::string row2 = lines[first_row + 1];
    const Case cases[] = {
        {"no begin", "/begin_header", remove, 1, true, "must begin with /begin_header"},
        {"no end", "/end_header", replace("/end_header", "! end"), 0, true, "no /end_header"},
        {"keyword missing", "/cruise=", remove, 0, true, "missing header keyword /cruise"},
        {"value empty", "/cruise=", replace("TC2024", ""), line_of("/cruise=") + 1, true,
         "empty value of /cruise"},
        {"blank in value", "/cruise=", replace("TC2024", "TC 2024"), line_of("/cruise=") + 1, true,
         "blank in the value of /cruise"},
        {"keyword twice", "/station=", replace("/station=S1", "/cruise=X"),
         line_of("/station=") + 1, true, "/cruise given a second time"},
        {"not a header line", "! Dates", replace("! Dates", "Dates"), line_of("! Dates") + 1, true,
         "must be /keyword=value or a ! comment"},
        {"empty header line", "! Dates", [](const std::string&) { return std::string(" "); },
         line_of("! Dates") + 1, true, "empty line in the header"},
        {"unknown keyword", "/station=", replace("/station=S1", "/station=S1\n/colour=blue"),
         line_of("/station=") + 2, false, "unknown header keyword /colour"},
        {"missing not a number", "/missing=", replace("-9999", "none"), line_of("/missing=") + 1,
         true, "/missing must be a number"},
        {"bad delimiter", "/delimiter=", replace("comma", "pipe"), line_of("/delimiter=") + 1, true,
         "/delimiter must be comma, space or tab"},
        {"units too few", "/units=", replace(",none", ""), units, true,
         "/units names 19 entries, /fields 20"},
        {"unknown field", "/fields=", replace("agp440,", "apg440,"), fields, true,
         "unknown field name 'apg440'"},
        {"field twice", "/fields=", replace("agp440,", "agp412.5,"), fields, true,
         "field 'agp412.5' named twice"},
        {"wrong unit", "/units=", replace("degreesC", "K"), units, false,
         "unit of wt is 'K', expected degreesC"},
        {"bad start date", "/start_date=", replace("20240315", "20240230"),
         line_of("/start_date=") + 1, true, "/start_date must be a date yyyymmdd"},
        {"start time without GMT", "/start_time=", replace("[GMT]", ""),
         line_of("/start_time=") + 1, true, "/start_time must be a time hh:mm:ss[GMT]"},
        {"bound without DEG", "/north_latitude=", replace("[DEG]", ""),
         line_of("/north_latitude=") + 1, true, "/north_latitude must be decimal degrees"},
        {"bound out of range", "/east_longitude=", replace("-70[DEG]", "190[DEG]"),
         line_of("/east_longitude=") + 1, true, "/east_longitude must be decimal degrees"},
        {"north south of south", "/north_latitude=", replace("45.002", "44"),
         line_of("/north_latitude=") + 1, true, "/north_latitude is south of /south_latitude"},
        {"bad water depth", "/water_depth=", replace("NA", "deep"), line_of("/water_depth=") + 1,
         true, "/water_depth must be a depth in m or NA"},
        {"file name", "/data_file_name=", replace("good.sb", "other.sb"),
         line_of("/data_file_name=") + 1, false, "/data_file_name is 'other.sb'"},
        {"start not the first time", "/start_time=", replace("23:59:58", "23:59:57"),
         line_of("/start_date=") + 1, true,
         "give 20240315 23:59:57, the data begin at 20240315 23:59:58"},
        {"end not the last time", "/end_date=", replace("20240315", "20240316"),
         line_of("/end_date=") + 1, true, "the data end at 20240315 23:59:59"},
        {"north not the largest lat", "/north_latitude=", replace("45.002", "45.003"),
         line_of("/north_latitude=") + 1, true, "the largest lat of the data 45.002"},
        {"west not the smallest lon", "/west_longitude=", replace("-70.004", "-70.003"),
         line_of("/west_longitude=") + 1, true, "the smallest lon of the data -70.004"},
        {"row one value short", row2,
         [](const std::string& l) { return l.substr(0, l.rfind(',')); }, first_row + 2, true,
         "19 values, /fields names 20"},
        {"NA in data", row2, replace(",10.1,", ",NA,"), first_row + 2, true,
         "'NA' in the data for wt"},
        {"nan in data", row2, replace(",10.1,", ",nan,"), first_row + 2, true,
         "'nan' in the data for wt"},
        {"empty value", row2, replace(",10.1,", ",,"), first_row + 2, true,
         "empty value of wt (a missing value is -9999)"},
        {"not a number", row2, replace(",10.1,", ",10.1x,"), first_row + 2, true,
         "'10.1x' is not a number (wt)"},
        {"bad date", row2, replace("20240315,", "20241315,"), first_row + 2, true,
         "'20241315' is not a valid date"},
        {"bad time", row2, replace("23:59:58,", "24:00:00,"), first_row + 2, true,
         "'24:00:00' is not a valid time"},
        {"count not whole", row2,
         [](const std::string& l) { return l.substr(0, l.rfind(',')) + ",2.5"; }, first_row + 2,
         true, "'2.5' is not a count (bincount)"},
        {"empty data line", row2, [](const std::string& l) { return l + "\n"; }, first_row + 3,
         true, "empty data line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> damaged = lines;
        const std::size_t at = line_of(c.line_prefix);
        const std::string changed = c.damage(damaged[at]);
        if (changed.empty())
            damaged.erase(damaged.begin() + static_cast<std::ptrdiff_t>(at));
        else
            damaged[at] = changed;
        const std::vector<seabass::Finding> found =
            seabass::check_text(join_lines(damaged), "good.sb");
        bool seen = false;
        for (const seabass::Finding& f : found)
            seen = seen || (f.line == c.finding_line && f.error == c.error &&
                            f.text.find(c.text_has) != std::string::npos);
        std::string all;
        for (const seabass::Finding& f : found)
            all += seabass::finding_line("F", f) + "\n";
        EXPECT_TRUE(seen) << "expected line " << c.finding_line << " '" << c.text_has
                          << "', found:\n"
                          << all;
    }
    // A header alone has no data; a file written elsewhere with CRLF line ends still passes.
    EXPECT_EQ(seabass::check_text(good.substr(0, good.find("/end_header") + 12))[0].text,
              "no data lines after /end_header");
    EXPECT_TRUE(seabass::check_text(join_lines(lines, "\r\n"), "good.sb").empty());
}

TEST(SeabassFinding, LinesNameTheFileAndTheLine) {
    EXPECT_EQ(seabass::finding_line("a.sb", {12, true, "bad"}), "a.sb:12: error: bad");
    EXPECT_EQ(seabass::finding_line("a.sb", {0, false, "odd"}), "a.sb: warning: odd");
}

} // namespace
