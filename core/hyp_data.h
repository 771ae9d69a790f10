// The data set: one series of instrument records with everything that describes them and
// everything needed to correct and save them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "processing_options.h"
#include "velmora_error.h"

// One record (one spectrum).  Index i of both lists belongs to channel i.
struct hyp_data {
    double time = 0.0;            // ms
    std::vector<double> a_values; // absorption, 1/m
    std::vector<double> c_values; // attenuation, 1/m
};

// One CTD sample, or one per-record entry of the per-record lists.
struct ctd_struct {
    double time = 0.0; // ms, the records' time base
    double pressure = 0.0;
    double salinity = 0.0;    // PSU
    double temperature = 0.0; // degrees C
};

struct ProductTable;

// How a CTD log's time column is read.  With ms every line after the header of column names is
// data; with the other formats a line is data when its time field reads in the format (the
// date-time format reads the time column and the next one), lines before the first such line
// are the header, and later lines whose time does not read are skipped.  The clock-time formats
// (epoch, iso, date-time) are brought to the records' time base with the data set's start time.
struct CtdTimeBase {
    CtdTimeFormat format = CtdTimeFormat::Ms;
    double lag_s = 0.0;                    // added to every time read
    std::optional<std::int64_t> start_utc; // the data set's; needed by the clock-time formats
};

// Whether the format holds UTC clock times (epoch, iso, date-time).
bool is_clock_time(CtdTimeFormat f);

// Why a CTD log with clock times cannot be read into a data set without a start time.
inline constexpr const char* kCtdNeedsStartTime =
    "The data set has no start time; set it before merging a CTD log with clock times.";

class CTD_Data {
  public:
    std::vector<ctd_struct> samples;
    std::string source_file;

    // Reads a whitespace-separated CTD log; columns are 1-based field numbers.
    void read_ctd_file(const std::string& path, int time_col, int temp_col, int saln_col,
                       int pres_col);
    // The same with the time column read as `time` says; returns how many lines after the
    // first data line were skipped because their time did not read (always 0 with ms).  A
    // clock-time format without a start time raises kCtdNeedsStartTime.
    std::size_t read_ctd_file(const std::string& path, int time_col, int temp_col, int saln_col,
                              int pres_col, const CtdTimeBase& time);
    // The fields of the log's first data line (0 when it has none), against which the chosen
    // columns are checked: a column beyond them would read 0 on every line.  The first data
    // line is that of read_ctd_file with the same format and time column.
    static int data_columns(const std::string& path, CtdTimeFormat format = CtdTimeFormat::Ms,
                            int time_col = 1);
};

// "Skipped N CTD lines whose time could not be read."
std::string ctd_skipped_report(std::size_t lines);

// The limit of the NaN rule of the merge, in seconds: `given`, or 60 s with a clock-time format;
// nothing (no limit) with ms and s unless given.
std::optional<double> ctd_max_gap_s(CtdTimeFormat format, std::optional<double> given);
// "N records have no CTD sample within GAP s." (GAP in its shortest form).
std::string ctd_nan_report(std::size_t records, double gap_s);

// A merged sample further from its record than this is reported (milliseconds), in the words of
// ctd_gap_report: "N records have no CTD sample within 60 s; the nearest sample was used.".
constexpr double kCtdMergeReportGap = 60000.0;
std::string ctd_gap_report(std::size_t records);

// A water calibration file as it stands, before it is checked against a data set.
struct WaterCalFile {
    bool serial_read = false;
    long long serial_number = 0;
    bool temp_read = false;
    double temperature = 0.0;
    long long wavelength_count = -1;                  // -1: no readable count line
    std::vector<double> a_wavelengths, c_wavelengths; // as the label line names them
    bool complete = false;                            // a value for every wavelength
    hyp_data record;                                  // the values, c then a
};

// Reads a water calibration file on its own (the data set takes one only on top of the data it
// belongs to).  Raises "PATH: is a folder, not a file.", "Unable to open file." and, for
// another kind of file, "File does not appear to be a water calibration file.".
WaterCalFile read_water_cal_file(const std::string& path);

// One row of the temperature/salinity coefficient table.
struct ts_coef {
    double wavelength = 0.0; // nm
    double psi_s_a = 0.0;    // 1/m per PSU
    double psi_s_c = 0.0;
    double psi_t_a = 0.0; // 1/m per degree C
    double psi_t_c = 0.0;
};

// Set once any data set has filled its coefficient table; corrections refuse to run before.
extern bool ts_table_loaded;

// Appends the built-in 3551 rows (400.0 to 755.0 nm) to an empty table and sets ts_table_loaded.
void fill_ts_table(std::vector<ts_coef>& table);

// Why the onboard temperature source is refused for a data set whose records hold none.
inline constexpr const char* kNoOnboardTemperature = "This data file holds no onboard temperature.";

// Why a data set read from a corrected file is not corrected (or saved as corrected) again.
inline constexpr const char* kAlreadyCorrected =
    "This file is already corrected; correct the instrument data file instead.";

// What a processed product changes in the corrected file's header: lines 7 and 8, the
// scattering sentence and the line below it, the channels (a wavelength grid) and the labels of
// the columns after today's ("dT\tflag\t").
struct CorrectedHeaderExtras {
    std::string processing, recipe; // lines 7 and 8 after "Processing: " and "Recipe: "
    bool scattering_given = false;  // use the next two lines for lines 16 and 17
    std::string scattering, scattering_note;
    const std::vector<double>* a_wavelengths = nullptr; // null: the data set's
    const std::vector<double>* c_wavelengths = nullptr;
    std::string extra_labels;
};

// Record indices are positions in HYP_Data::records.
using RecordIndices = std::vector<std::size_t>;

// What write_lines writes for each record.
struct LineOptions {
    bool with_corrections = false; // the values of correct_one_line instead of the stored ones
    bool averaged = false;         // one line of the means instead of one line per record
    bool ctd_columns = false;      // temperature, salinity, pressure from ctd_list
    bool file_order = false;       // FLW: the columns in the order of the device file
    bool chl_column = false;       // the ChlA value
};

class HYP_Data {
  public:
    HYP_Data();
    ~HYP_Data();
    HYP_Data(const HYP_Data&) = delete;
    HYP_Data& operator=(const HYP_Data&) = delete;

    std::string file_name;
    std::string water_file_name;
    double const_temp = 0.0;
    double const_saln = 0.0;
    double fac_cal_temp = 0.0;
    double water_cal_temp = -1.0;
    double scat_ref_a_wl = 0.0;
    double scat_ref_c_wl = 0.0;
    std::uint32_t scat_ref_a = 0;
    std::uint32_t scat_ref_c = 0;
    bool do_water = false;
    bool do_temp = false;
    bool do_saln = false;
    bool do_scat = false;
    ScatMethod scat_method{}; // none chosen yet in a new data set
    bool scat_no_negative = false;
    bool is_processed = false;
    TempSource temp_source = TempSource::Constant;
    SalnSource saln_source = SalnSource::Constant;
    bool ctd_loaded = false;
    bool ctd_merged = false;
    bool water_loaded = false;
    std::vector<double> a_wavelengths;
    std::vector<double> c_wavelengths;
    InstrumentType instrument_type = InstrumentType::None;
    std::int32_t serial_number = 0;
    std::vector<std::string> header_lines;
    std::int32_t num_wavelengths = 0;
    std::vector<hyp_data> records;
    std::vector<hyp_data> water_records;
    CTD_Data ctd_file;
    CTD_Data ctd_list;
    CTD_Data onboard_list;
    CTD_Data fitted_list;
    std::vector<hyp_data> corrected_records;
    std::vector<ts_coef> a_coefs;
    std::vector<ts_coef> c_coefs;
    std::vector<ts_coef> ts_table;
    std::vector<double> water_a;
    std::vector<double> water_c;
    std::vector<std::int32_t> a_order;
    std::vector<std::int32_t> c_order;
    std::vector<bool> channel_is_a;
    std::ofstream continuous_file;
    std::uint32_t written_count = 0;
    bool continuous_header_due = false; // opened, header not written yet
    // UTC time of the first record, ms since 1970-01-01T00:00:00Z; record i is at
    // start_utc + records[i].time.  Unknown for files written before it was kept.
    std::optional<std::int64_t> start_utc;
    // Positions from a merged GPS log, one per record (NaN: no fix near it); empty without one.
    std::vector<double> lat_list, lon_list;
    std::string gps_file_name;
    bool gps_merged = false;
    // What the app processed last, for the views: one row per record (QC flags, the residual
    // temperature) and the bins; null when not processed.
    std::shared_ptr<const ProductTable> record_products, binned_products;

    // Files in.
    void load_file(const std::string& path, bool water_mode);
    // Returns how many records got a sample more than kCtdMergeReportGap away from them.  With
    // `max_gap_ms`, records whose sample is further than that get NaN temperature, salinity and
    // pressure instead, and those are counted.
    std::size_t merge_ctd(std::optional<double> max_gap_ms = std::nullopt);
    // Reads an NMEA 0183 log and gives every record the position at its clock time (lat_list,
    // lon_list; NaN further than 10 s from a fix).  Needs start_utc.  Returns how many sentences
    // could not be read (gps.h).
    std::size_t merge_gps(const std::string& path);

    // Instrument data files out.
    void save_records(const std::string& path);
    void save_selection(const std::string& path, const RecordIndices& indices);
    void open_continuous(const std::string& path);
    void append_continuous();
    void close_continuous();
    bool continuous_open() const { return continuous_file.is_open(); }
    void write_data_header(std::ostream& out) const;
    void write_lines(std::ostream& out, const RecordIndices& indices,
                     const LineOptions& options) const;

    // Corrected output file.
    // Refuses a data set read from a corrected (processed) file: its values are corrected
    // already, and the header would claim corrections that were not applied.
    void save_corrected(const std::string& path, bool ctd_columns, bool chl_column);
    void write_corrected_header(std::ostream& out, bool ctd_columns, bool chl_column) const;
    void write_corrected_header(std::ostream& out, bool ctd_columns, bool chl_column,
                                const CorrectedHeaderExtras& extras) const;
    double chl_ratio(std::size_t index) const;

    // Water calibration and device files from a selection.
    void save_water_cal(const std::string& path, const RecordIndices& indices,
                        double temperature) const;
    void save_devfile(const std::string& path, const RecordIndices& indices);

    // Coefficients and corrections.
    void setup_ts_coefs();
    hyp_data correct_one_line(std::size_t index) const;
    // Empties corrected_records, then appends every record corrected with the current settings,
    // in order: what the save commands do before writing (the ChlA column reads the list).
    void fill_corrected_records();
    std::vector<double> correct_series(int channel, bool is_a) const;
    double set_scat_ref(double wavelength);
    // Whether the onboard temperature source can be used: some record's onboard entry holds a
    // temperature.  Files without the column read 0 for every record (and keep 0 when saved
    // again); a real sensor does not read exactly 0 in every record of a file.
    bool has_onboard_temperature() const;

    // The ChlA column value of one corrected record (chl_ratio reads it from corrected_records).
    double chl_ratio_of(const hyp_data& corrected) const;

  private:
    // The continuous file's header, once the first record has set the start time.
    void write_continuous_header();
    // correct_one_line into `out`, whose lists keep their storage when they are long enough.
    void correct_into(std::size_t index, hyp_data& out) const;
    // An onboard entry last found to hold a temperature: correcting record after record does
    // not search the list again while that entry still holds one.
    mutable std::atomic<std::size_t> onboard_found_{0};
    // The record lines of the corrected file (corrections on, plain layout).
    void write_corrected_lines(std::ostream& out, bool ctd_columns, bool chl_column);
};
