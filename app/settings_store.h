// The user's remembered choices (`reg`): device file, COM port, CTD columns, last tab and the
// auto-temperature option, kept in a per-user JSON file that mirrors a key/value store with
// one section and typed (text or integer) values.
#pragma once

#include <cstdint>
#include <string>

class VelmoraSettings {
  public:
    // The section every value lives in.
    static constexpr const char* kSection = "SOFTWARE\\Kestrin\\Velmora15";

    // Create: every member at its default; nothing is read.
    VelmoraSettings() = default;
    // A store at `path` instead of the default (tests); empty = default location.
    explicit VelmoraSettings(std::string path) : store_path(std::move(path)) {}

    std::string tscorfile;
    std::string devfile;
    std::int32_t ctd_time = 1;
    std::int32_t ctd_pres = 2;
    std::int32_t ctd_temp = 3;
    std::int32_t ctd_saln = 5;
    // Chosen with the columns: what the time column holds (its command-line name, "ms" to
    // "date-time") and the lag in seconds added to the CTD times, kept as text values.
    std::string ctd_time_format = "ms";
    double ctd_lag_s = 0.0;
    std::int16_t commport = 1;
    std::int32_t tab_index = 0;
    std::int32_t autotemp = 0;
    // The main window's place and size and its two splitters (Qt's saved states, base64); empty
    // until the window was first closed, so the first run opens at the design size.
    std::string window_geometry;
    std::string splitter_sizes; // "Splitter1 sizes;Splitter2 sizes", e.g. "307,663;346,307"
    // How the time plots label their time axis (ChartWidget::TimeFormat: 0 ms, 1 elapsed, 2 UTC).
    std::int32_t time_axis = 0;
    // SeaBASS header keywords the user gave, one KEY=VALUE line each.
    std::string seabass_metadata;

    // Reads every value; missing or wrongly typed values leave the defaults.  Never fails.
    void Load();
    // Writes all nine values; raises VelmoraError "Unable to write to registry!" when the store
    // cannot be created.
    void Save();

    // The file behind the store: VELMORA_SETTINGS when set, else the user's config folder.
    std::string path() const;
    static std::string default_path();

  private:
    std::string store_path;
};
