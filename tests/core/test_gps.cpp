// NMEA logs: which sentences give fixes and at what time, the positions between fixes, the
// merge into a data set, and the Lat and Lon columns of the corrected file.
#include <cctype>
#include <cmath>
#include <cstdio>

#include "clock_time.h"
#include "files_test_util.h"
#include "gps.h"

using namespace files_test;

namespace {

// "$BODY*hh" with the right checksum.
std::string nmea(const std::string& body) {
    unsigned x = 0;
    for (const char c : body)
        x ^= static_cast<unsigned char>(c);
    char sum[4];
    std::snprintf(sum, sizeof sum, "%02X", x);
    return "$" + body + "*" + sum;
}

std::string lines_of(const std::vector<std::string>& lines) {
    return join_lines(lines, "\r\n");
}

clock_time::UtcMs iso(const char* text) {
    return *clock_time::parse_iso(text);
}

const std::string kRmc = "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,150324,003.8,W";
const std::string kGga = "GPGGA,123520,4807.100,N,01131.100,E,1,08,0.9,545.4,M,46.9,M,,";

// Longitudes agree on the circle (-180 and 179.9999999999 are neighbours), and lie in
// [-180, 180).
void expect_longitude(double lon, double expected, double t) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(lon)) << t << ": " << lon;
        return;
    }
    EXPECT_TRUE(lon >= -180.0 && lon < 180.0) << t << ": " << lon;
    EXPECT_LT(std::abs(wrap_longitude(lon - expected)), 1e-9) << t << ": " << lon;
}

} // namespace

TEST(Nmea, WhichSentencesGiveFixes) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        std::size_t fixes, skipped;
    };
    std::string wrong = nmea(kRmc);
    wrong[wrong.size() - 1] = wrong.back() == '0' ? '1' : '0';
    std::string lower_sum = nmea(kRmc); // its checksum holds a letter
    for (std::size_t i = lower_sum.size() - 2; i < lower_sum.size(); ++i)
        lower_sum[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower_sum[i])));
    const Case cases[] = {
        {"RMC, right checksum", {nmea(kRmc)}, 1, 0},
        {"lower-case checksum digits", {lower_sum}, 1, 0},
        {"RMC, wrong checksum", {wrong}, 0, 1},
        {"checksum of one digit", {"$" + kRmc + "*6"}, 0, 1},
        {"no checksum", {"$" + kRmc}, 1, 0},
        {"logger's time stamp before the $", {"2024-03-15 12:35:19.02 " + nmea(kRmc)}, 1, 0},
        {"GNRMC and GNGGA", {nmea("GN" + kRmc.substr(2)), nmea("GN" + kGga.substr(2))}, 2, 0},
        {"RMC then GGA", {nmea(kRmc), nmea(kGga)}, 2, 0},
        {"GGA before any RMC is not used", {nmea(kGga), nmea(kRmc)}, 1, 0},
        {"RMC status V", {nmea("GPRMC,123519,V,,,,,,,150324,,")}, 0, 0},
        {"RMC status neither A nor V",
         {nmea("GPRMC,123519,X,4807.038,N,01131.000,E,,,150324,,")},
         0,
         1},
        {"GGA without a fix", {nmea(kRmc), nmea("GPGGA,123520,,,,,0,00,,,M,,M,,")}, 1, 0},
        {"other sentences are ignored", {nmea("GPGSV,3,1,11,03,03,111,00"), "no sentence"}, 0, 0},
        {"too few fields", {nmea("GPRMC,123519,A,4807.038,N")}, 0, 1},
        {"hour 24", {nmea("GPRMC,243519,A,4807.038,N,01131.000,E,,,150324,,")}, 0, 1},
        {"31 February", {nmea("GPRMC,123519,A,4807.038,N,01131.000,E,,,310224,,")}, 0, 1},
        {"60 minutes of arc", {nmea("GPRMC,123519,A,4860.000,N,01131.000,E,,,150324,,")}, 0, 1},
        {"latitude beyond 90", {nmea("GPRMC,123519,A,9100.000,N,01131.000,E,,,150324,,")}, 0, 1},
        {"hemisphere E for a latitude",
         {nmea("GPRMC,123519,A,4807.038,E,01131.000,E,,,150324,,")},
         0,
         1},
        {"sign in a coordinate", {nmea("GPRMC,123519,A,-4807.038,N,01131.000,E,,,150324,,")}, 0, 1},
        {"empty GGA quality",
         {nmea(kRmc), nmea("GPGGA,123520,4807.1,N,01131.1,E,,08,,,M,,M,,")},
         1,
         1},
        {"just the identifier", {"$GPGGA", "$GPRMC*"}, 0, 2},
        {"the same time twice",
         {nmea(kRmc), nmea("GPGGA,123519,4807.100,N,01131.1,E,1,,,,,,,,")},
         1,
         0},
    };
    for (const Case& c : cases) {
        const GpsLog log = read_nmea(lines_of(c.lines));
        EXPECT_EQ(log.fixes.size(), c.fixes) << c.what;
        EXPECT_EQ(log.skipped, c.skipped) << c.what;
    }
}

TEST(Nmea, FixTimesAndPositions) {
    const GpsLog log = read_nmea(lines_of({
        nmea(kRmc),
        nmea(kGga),
        // The same time as the RMC: the first fix of that time stays.
        nmea("GPGGA,123519,0000.000,S,00000.000,W,1,08,0.9,545.4,M,46.9,M,,"),
        // Midnight: a GGA more than 12 h earlier in the day than the last RMC is on the next day.
        nmea("GPRMC,235959.50,A,3345.500,S,15112.250,W,,,311299,,"),
        nmea("GPGGA,000000.1236,3345.600,S,15112.300,W,2,,,,,,,,"),
        nmea("GPGGA,235959.75,3345.550,S,15112.275,W,2,,,,,,,,"),
    }));
    EXPECT_EQ(log.skipped, 0u);
    struct Expected {
        const char* time;
        double lat, lon;
    };
    const Expected expected[] = {
        {"1999-12-31T23:59:59.500Z", -(33 + 45.5 / 60), -(151 + 12.25 / 60)},
        {"1999-12-31T23:59:59.750Z", -(33 + 45.55 / 60), -(151 + 12.275 / 60)},
        {"2000-01-01T00:00:00.124Z", -(33 + 45.6 / 60), -(151 + 12.3 / 60)},
        {"2024-03-15T12:35:19.000Z", 48 + 7.038 / 60, 11 + 31.0 / 60},
        {"2024-03-15T12:35:20.000Z", 48 + 7.1 / 60, 11 + 31.1 / 60},
    };
    ASSERT_EQ(log.fixes.size(), std::size(expected));
    for (std::size_t i = 0; i < log.fixes.size(); ++i) {
        EXPECT_EQ(clock_time::format_iso(log.fixes[i].time), expected[i].time) << i;
        EXPECT_NEAR_REL(log.fixes[i].lat, expected[i].lat) << i;
        EXPECT_NEAR_REL(log.fixes[i].lon, expected[i].lon) << i;
    }
}

TEST(Nmea, AnyBytesAreSafe) {
    std::string bytes;
    for (int i = 0; i < 4096; ++i)
        bytes += static_cast<char>((i * 7919) % 256);
    bytes += std::string("$GPRMC,\0,A*", 11); // a sentence cut short, with a NUL in it
    bytes += "$GPGGA,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27";
    const GpsLog log = read_nmea(bytes);
    EXPECT_TRUE(log.fixes.empty());
}

TEST(GpsPosition, BetweenBeforeAfterAndAcrossGaps) {
    const std::vector<GpsFix> fixes = {
        {0, 10.0, 20.0},      {1000, 11.0, 22.0},    {2000, 11.0, 179.9},
        {3000, 12.0, -179.9}, {33000, 13.0, -179.0}, {34000, 13.0, 0.0},
    };
    std::vector<double> at;
    for (const GpsFix& f : fixes)
        at.push_back(static_cast<double>(f.time));
    const double nan = std::nan("");
    struct Case {
        double t, lat, lon;
    };
    const Case cases[] = {
        {250, 10.25, 20.5},    // linear in time
        {1000, 11.0, 22.0},    // on a fix
        {2250, 11.25, 179.95}, // across 180 degrees the short way
        {2500, 11.5, -180.0},  // the line itself is -180
        {2750, 11.75, -179.95},
        {13000, 12.0 + 1.0 / 3, -179.9 + 0.9 / 3}, // a 30 s gap: within 10 s of a fix
        {18000, nan, nan},                         // more than 10 s from both
        {-10000, 10.0, 20.0},                      // before the first fix
        {-10001, nan, nan},
        {44000, 13.0, 0.0}, // after the last
        {44000.5, nan, nan},
    };
    for (const Case& c : cases) {
        const LatLon p = gps_position_at(fixes, at, c.t);
        EXPECT_NEAR_REL(p.lat, c.lat, 1e-12) << c.t;
        expect_longitude(p.lon, c.lon, c.t);
    }
}

class GpsMerge : public ScratchDir {
  protected:
    // Fixes at 12:35:19, :20 (across 180 degrees) and :40; the one at :21 has a wrong checksum.
    std::string track() {
        const std::string p = path("track.nmea");
        write_text(p, lines_of({
                          nmea("GPRMC,123519,A,4807.000,N,17959.940,E,,,150324,,"),
                          nmea("GPGGA,123520,4807.060,N,17959.940,W,1,08,0.9,1,M,1,M,,"),
                          "$GPGGA,123521,4807.120,N,17959.880,W,1,08,0.9,1,M,1,M,,*00",
                          nmea("GPGGA,123540,4807.120,N,17959.880,W,1,08,0.9,1,M,1,M,,"),
                      }));
        return p;
    }
};

TEST_F(GpsMerge, RecordsGetPositionsAtTheirClockTimes) {
    HYP_Data d;
    d.start_utc = iso("2024-03-15T12:35:19.5Z");
    for (const double t : {-500.0, 0.0, 5000.0, 20500.0, 31000.0})
        d.records.push_back(hyp_data{t, {}, {}});
    EXPECT_EQ(d.merge_gps(track()), 1u); // the wrong checksum
    EXPECT_TRUE(d.gps_merged);
    EXPECT_EQ(d.gps_file_name, path("track.nmea"));
    const double nan = std::nan("");
    // On a fix, half-way to the next across 180 degrees, between two fixes 20 s apart, on the
    // last fix, and 10.5 s after it.
    const double lat[] = {48 + 7.0 / 60, 48 + 7.03 / 60, 48 + 7.06 / 60 + 0.06 / 60 * 4.5 / 20,
                          48 + 7.12 / 60, nan};
    const double lon[] = {179.999, -180.0, -179.999 + 0.001 * 4.5 / 20, -179.998, nan};
    ASSERT_EQ(d.lat_list.size(), 5u);
    ASSERT_EQ(d.lon_list.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_NEAR_REL(d.lat_list[i], lat[i], 1e-12) << i;
        expect_longitude(d.lon_list[i], lon[i], static_cast<double>(i));
    }
}

TEST_F(GpsMerge, Errors) {
    HYP_Data d;
    d.records.push_back(hyp_data{0.0, {}, {}});
    EXPECT_EQ(error_of([&] { d.merge_gps(track()); }),
              "The data set has no start time; set it before merging a GPS log with clock times.");
    d.start_utc = iso("2024-03-15T12:35:19Z");
    EXPECT_EQ(error_of([&] { d.merge_gps(path("none.nmea")); }), "Unable to open file.");
    write_text(path("void.nmea"), lines_of({nmea("GPRMC,123519,V,,,,,,,150324,,"), "$GPGGA,x"}));
    EXPECT_EQ(error_of([&] { d.merge_gps(path("void.nmea")); }), "No GPS fixes in file.");
    EXPECT_FALSE(d.gps_merged);
    EXPECT_TRUE(d.lat_list.empty());
    EXPECT_EQ(nmea_skip_report(3), "Skipped 3 NMEA sentences that could not be read.");
}

TEST_F(GpsMerge, CorrectedFileHasLatLonAndOpensAgain) {
    HYP_Data d;
    d.load_file(fixture("hyp_small.dat"), false);
    d.ctd_file.read_ctd_file(fixture("ctd_small.txt"), 1, 3, 5, 2);
    d.merge_ctd();
    std::ostringstream before;
    d.write_corrected_header(before, true, true);

    // Fixes at 12:35:10 and (an earlier time of day than the GGA's) 12:35:20; records at 250
    // and 500 ms, and one moved to 16 s, 11 s after the last fix.
    d.start_utc = iso("2024-03-15T12:35:15Z");
    d.records[2].time = 16000;
    const std::string log = path("short.nmea");
    write_text(log, lines_of({nmea("GPRMC,123520,A,4807.000,S,17959.940,W,,,150324,,"),
                              nmea("GPGGA,123510,4807.060,S,17959.940,W,1,,,,,,,,")}));
    EXPECT_EQ(d.merge_gps(log), 0u);
    d.fill_corrected_records();
    d.save_corrected(path("c.dat"), true, true);
    const auto lines = split_lines(read_text(path("c.dat")));
    ASSERT_EQ(lines.size(), 24u);
    // Only line 20 and the label line differ from a file without GPS.
    auto header = split_lines(before.str());
    header[19] = "GPS file: " + log;
    header[20] = "Time(ms)\tc400.2\tc650.1\tc715.4\ta400.5\ta650.3\ta714.9\ttemp\tsaln\tpres\t"
                 "Lat\tLon\tChl_a\t";
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 21),
              std::vector<std::string>(header.begin() + 1, header.end()));
    for (std::size_t i = 0; i < 3; ++i) {
        const ctd_struct& e = d.ctd_list.samples[i];
        const std::string tail = text_g10(e.pressure) + "\t" + text_g10(d.lat_list[i]) + "\t" +
                                 text_g10(d.lon_list[i]) + "\t" + text_g10(d.chl_ratio(i)) + "\t";
        ASSERT_GE(lines[21 + i].size(), tail.size());
        EXPECT_EQ(lines[21 + i].substr(lines[21 + i].size() - tail.size()), tail) << i;
    }
    EXPECT_NE(lines[23].find("\tnan\tnan\t"), std::string::npos);
    EXPECT_NEAR_REL(d.lat_list[0], -(48 + 7.06 / 60) + 0.06 / 60 * 5.25 / 10, 1e-12);
    EXPECT_NEAR_REL(d.lon_list[0], -(179 + 59.94 / 60), 1e-12);

    // Opened again: the values, and the CTD columns before the positions.
    HYP_Data p;
    p.load_file(path("c.dat"), false);
    EXPECT_TRUE(p.is_processed);
    expect_same_records(p.records, d.corrected_records);
    ASSERT_EQ(p.onboard_list.samples.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR_REL(p.onboard_list.samples[i].temperature, d.ctd_list.samples[i].temperature);
        EXPECT_NEAR_REL(p.onboard_list.samples[i].pressure, d.ctd_list.samples[i].pressure);
    }

    // Without CTD columns the positions follow the values directly.
    HYP_Data g;
    g.load_file(fixture("hyp_small.dat"), false);
    g.start_utc = d.start_utc;
    g.merge_gps(log);
    g.fill_corrected_records();
    g.save_corrected(path("g.dat"), true, false);
    EXPECT_EQ(split_lines(read_text(path("g.dat")))[20],
              "Time(ms)\tc400.2\tc650.1\tc715.4\ta400.5\ta650.3\ta714.9\tLat\tLon\t");
    HYP_Data q;
    q.load_file(path("g.dat"), false);
    expect_same_records(q.records, g.corrected_records);
    ASSERT_EQ(q.onboard_list.samples.size(), 3u);
    EXPECT_EQ(q.onboard_list.samples[0].temperature, 0.0); // no latitude taken for temperature
}
