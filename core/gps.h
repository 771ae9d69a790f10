// Ship positions from an NMEA 0183 log: the fixes of its RMC and GGA sentences with their UTC
// times, and the position at any time between them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "clock_time.h"

// One position fix, degrees north and east.
struct GpsFix {
    clock_time::UtcMs time = 0;
    double lat = 0.0;
    double lon = 0.0; // -180 <= lon < 180
};

// The usable fixes of a log in time order, each time once, and how many RMC and GGA sentences
// could not be read (a wrong checksum, a field that does not parse).
struct GpsLog {
    std::vector<GpsFix> fixes;
    std::size_t skipped = 0;
};

// Reads the log's lines.  $GPRMC/$GNRMC give date, time and position (status A only),
// $GPGGA/$GNGGA time and position (fix quality above 0) on the date of the last RMC before
// them; a GGA before any RMC is not used.  Text before the '$' is ignored, and so are all
// other sentences.
GpsLog read_nmea(std::string_view text);
// The same from a file: "Unable to open file." when it cannot be opened.
GpsLog read_nmea_file(const std::string& path);

// A record further than this from the nearest fix has no position (milliseconds).
constexpr double kGpsMaxGapMs = 10000.0;

struct LatLon {
    double lat, lon; // NaN both: no fix near
};

// The position at `at_ms` (the fixes' times as ms since `start`, in the same order as `fixes`):
// linear in time between the fixes around it, the longitude the short way across 180 degrees;
// before the first or after the last fix that fix's own.  `fix_ms` must be sorted.
LatLon gps_position_at(const std::vector<GpsFix>& fixes, const std::vector<double>& fix_ms,
                       double at_ms);

// Longitude into [-180, 180).
double wrap_longitude(double lon);

inline constexpr const char* kGpsNeedsStartTime =
    "The data set has no start time; set it before merging a GPS log with clock times.";
inline constexpr const char* kNoGpsFixes = "No GPS fixes in file.";

// "Skipped N NMEA sentences that could not be read."
std::string nmea_skip_report(std::size_t sentences);
