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

class CTD_Data {
  public:
    std::vector<ctd_struct> samples;
    std::string source_file;

    // Reads a whitespace-separated CTD log; columns are 1-based field numbers.
    void read_ctd_file(const std::string& path, int time_col, int temp_col, int saln_col,
                       int pres_col);
    // The fields of the log's first data line (0 when it has none), against which the chosen
    // columns are checked: a column beyond them would read 0 on every line.
    static int data_columns(const std::string& path);
};

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
    // Returns how many records got a sample more than kCtdMergeReportGap away from them.
    std::size_t merge_ctd();

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
    // correct_one_line into `out`, whose lists keep their storage when they are long enough.
    void correct_into(std::size_t index, hyp_data& out) const;
    // An onboard entry last found to hold a temperature: correcting record after record does
    // not search the list again while that entry still holds one.
    mutable std::atomic<std::size_t> onboard_found_{0};
    // The record lines of the corrected file (corrections on, plain layout).
    void write_corrected_lines(std::ostream& out, bool ctd_columns, bool chl_column);
};
