// The time stamp in the default names of saved files ("cast_corrected_20090309140507.dat"):
// year, month, day, hour, minute and second of a local time, as "%u%02u%02u%02u%02u%02u".
#pragma once

#include <cstdio>
#include <ctime>
#include <string>

inline std::string time_stamp_for_name(const std::tm& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%u%02u%02u%02u%02u%02u", unsigned(t.tm_year + 1900),
                  unsigned(t.tm_mon + 1), unsigned(t.tm_mday), unsigned(t.tm_hour),
                  unsigned(t.tm_min), unsigned(t.tm_sec));
    return buf;
}
