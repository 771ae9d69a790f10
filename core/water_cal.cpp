// The water calibration file: the mean corrected spectrum of records taken in pure water.
#include <ctime>
#include <string>

#include "atomic_file.h"
#include "channel_labels.h"
#include "hyp_data.h"
#include "text.h"

namespace {

// The local time as "Wed Apr  8 17:49:48 2009", in English whatever the user's locale.
std::string local_time_text() {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (const std::tm* local = std::localtime(&now))
        tm = *local;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %s %2d %02d:%02d:%02d %d", kDays[(tm.tm_wday % 7 + 7) % 7],
                  kMonths[(tm.tm_mon % 12 + 12) % 12], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  tm.tm_year + 1900);
    return buf;
}

} // namespace

void HYP_Data::save_water_cal(const std::string& path, const RecordIndices& indices,
                              double temperature) const {
    const std::string created = local_time_text();
    AtomicFile file(path,
                    "Unable to open file for saving.  Is this file opened in another program?");
    std::string h;
    h += "File created by Velmora version 2.0\n";
    h += "Water Calibration File: 1.0\n";
    h += "This file was created on " + created + "\n";
    h += "Serial Number: " + std::to_string(serial_number) + "\n";
    h += "Water Calibration Temperature: " + text::format_g(temperature, 6) + "\n";
    h += "Number of wavelengths: " + std::to_string(a_wavelengths.size()) + "\n";
    h += "0\t";
    append_channel_labels(h, c_wavelengths, a_wavelengths);
    h += '\n';
    file.stream() << h;
    // Line 8, the means, has no line break.
    LineOptions means;
    means.with_corrections = true;
    means.averaged = true;
    write_lines(file.stream(), indices, means);
    file.commit();
}
