// NMEA logs: the fixes read from any bytes, then merged into a data set loaded from a sample
// with its start time at the first fix.
#include <algorithm>
#include <cmath>

#include "fuzz_util.h"
#include "gps.h"
#include "hyp_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::write_input("input.nmea", data, size);
    GpsLog log;
    if (!fuzz::clean([&] { log = read_nmea_file(path); }))
        return 0;
    for (std::size_t i = 0; i < log.fixes.size(); ++i) {
        const GpsFix& f = log.fixes[i];
        if (!(f.lat >= -90.0 && f.lat <= 90.0 && f.lon >= -180.0 && f.lon < 180.0))
            fuzz::fail("a fix outside the globe");
        if (i > 0 && !(log.fixes[i - 1].time < f.time))
            fuzz::fail("fixes not in strict time order");
    }

    HYP_Data d;
    d.load_file(VELMORA_TEST_DATA_DIR "/hyp_small.dat", false);
    d.start_utc = log.fixes.empty() ? 0 : log.fixes.front().time;
    if (!fuzz::clean([&] { d.merge_gps(path); }))
        return 0;
    if (d.lat_list.size() != d.records.size() || d.lon_list.size() != d.records.size())
        fuzz::fail("positions and records differ in length");
    for (std::size_t i = 0; i < d.records.size(); ++i) {
        const double lat = d.lat_list[i], lon = d.lon_list[i];
        if (std::isnan(lat) != std::isnan(lon))
            fuzz::fail("a record with half a position");
        if (!std::isnan(lon) && !(lon >= -180.0 && lon < 180.0 && std::abs(lat) <= 90.0))
            fuzz::fail("an interpolated position outside the globe");
    }
    return 0;
}
