// The instrument simulator: the byte streams of both instrument models, made from a device
// file, for tests, sample data, the replay benchmark and the app's demo mode.
//
// Spectra are physically plausible (particle absorption with a chlorophyll bump near 676 nm,
// attenuation falling with wavelength, both drifting slowly), converted back into reference and
// signal counts with the device file's offsets and temperature adjustments, so that the reader
// returns the intended spectra within the counts' resolution.
//
// Library use:
//   sim::Options o;  o.model = sim::Model::HYP;  o.dev_path = "x.dev";
//   sim::Simulator s(o);                  // parses the device file; raises VelmoraError
//   std::vector<std::uint8_t> bytes;
//   s.append_records(bytes, 100);         // 100 instrument records (and any requested faults)
//   s.intended()                          // the records a reader should decode, in order
//
// Demo mode (streams into a pseudo-terminal in a background thread):
//   auto pty = sim::PtyStream::start(o, "/tmp/velmora-demo-tty");   // raises VelmoraError
//   setenv("VELMORA_COM9", "/tmp/velmora-demo-tty", 1);  // then acquire on port 9
//   ...
//   pty->stop();                          // also done by the destructor; removes the link
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "devfile.h"
#include "hyp_data.h"

namespace sim {

enum class Model { HYP, FLW };

// Faults on request, named in a comma-separated list for the command line.
struct Faults {
    bool garbage = false;   // "garbage": random bytes between some records
    bool checksum = false;  // "checksum": some records with a wrong checksum
    bool pad = false;       // "pad": some records with a non-zero pad byte (HYP)
    bool serial = false;    // "serial": a serial number other than the device file's
    bool wl_count = false;  // "wlcount": a wavelength count other than the device file's (HYP)
    bool pause = false;     // "pause": a pause of a few seconds in the stream (live streaming)
    bool mid_start = false; // "midstart": the stream starts in the middle of a record
};
// Raises VelmoraError naming an unknown fault.
Faults parse_faults(const std::string& list);

// The water the instrument sits in: temperature and salinity over time (a cast's profile, or one
// sample for constant water).  Pure water's own temperature and salinity effect, from the
// coefficient table the corrections use, is then put into the counts, as a real instrument
// calibrated at its factory temperature in pure water would see it; empty, the spectra are
// those of water at the factory temperature with no salt.
struct WaterProfile {
    std::vector<ctd_struct> samples; // ascending time (ms, the records' time base)

    bool empty() const { return samples.empty(); }
    // Temperature and salinity at `time_ms`, linear between samples, held beyond the ends.
    ctd_struct at(double time_ms) const;
};

// A profile from a CTD log (whitespace-separated, 1-based columns as for the CTD merge).
WaterProfile read_water_profile(const std::string& path, int time_col = 1, int pres_col = 2,
                                int temp_col = 3, int saln_col = 5);

struct Options {
    Model model = Model::HYP;
    std::string dev_path;
    double rate_hz = 0.0; // spectra per second; 0: 4 for both models
    std::uint64_t seed = 1;
    std::int64_t serial = -1; // serial number sent; -1: the device file's
    Faults faults;
    WaterProfile water;
};

class Simulator {
  public:
    explicit Simulator(const Options& options);

    const devfile& dev() const { return dev_; }
    const Options& options() const { return options_; }

    // Appends `count` instrument records (FLW: ten spectra each) with any faults requested.
    void append_records(std::vector<std::uint8_t>& out, std::size_t count);

    // What a reader decodes from everything appended so far, once the stream continues:
    // times relative to the first record, a and c per channel in the device file's order.
    // Records spoilt by a fault are not in it.
    const std::vector<hyp_data>& intended() const { return intended_; }
    // Largest change of a decoded value (1/m) that one count of resolution can cause so far.
    double resolution() const { return resolution_; }
    // Seconds between instrument records at the configured rate.
    double record_interval_s() const;
    // Bytes per second of the serial line (a tenth of the device file's speed).
    double line_bytes_per_s() const;
    // True for a record that the pause fault asks to be followed by a gap in live streaming.
    bool pause_after_last() const { return pause_after_last_; }
    // Whether intended() is kept (the benchmark and live streaming make endless streams).
    void set_keep_intended(bool keep) { keep_intended_ = keep; }

  private:
    void spectrum(double t_s, std::vector<double>& a, std::vector<double>& c);
    void append_hyp(std::vector<std::uint8_t>& out);
    void append_flw(std::vector<std::uint8_t>& out);

    Options options_;
    devfile dev_;
    std::mt19937_64 rng_;
    std::uint64_t record_no_ = 0;
    std::uint32_t hyp_stamp0_ = 0;
    std::uint32_t flw_counter_ = 0; // 10 ms units, the instrument's free-running counter
    std::int32_t flw_rollovers_ = 0;
    std::int32_t flw_last_raw_ = 0;
    std::uint32_t first_time_ = 0; // decoder time of the first decoded record
    bool have_first_ = false;
    bool pause_after_last_ = false;
    bool keep_intended_ = true;
    double resolution_ = 0.0;
    std::vector<hyp_data> intended_;
    // Pure water's temperature and salinity coefficients per channel (empty without a profile).
    std::vector<ts_coef> water_a_coefs_, water_c_coefs_;
};

// Writes `records` instrument records as a raw capture file; raises VelmoraError.
void write_capture(const Options& options, std::size_t records, const std::string& path);

// Streams an endless simulation into a pseudo-terminal whose slave side is linked at `link`,
// paced in real time at the line's byte rate.
class PtyStream {
  public:
    // Opens the pseudo-terminal, makes the link and starts the streaming thread.
    static std::unique_ptr<PtyStream> start(const Options& options, const std::string& link);
    ~PtyStream();
    PtyStream(const PtyStream&) = delete;
    PtyStream& operator=(const PtyStream&) = delete;

    // Ends the thread, closes the pseudo-terminal and removes the link.  Idempotent.
    void stop();
    const std::string& slave_path() const { return slave_path_; }
    std::uint64_t bytes_sent() const { return bytes_sent_.load(); }

  private:
    PtyStream() = default;
    void run(Options options);

    int master_fd_ = -1;
    int slave_fd_ = -1;
    std::string link_;
    std::string slave_path_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> bytes_sent_{0};
    std::thread thread_;
};

// The blocking form of the command line: streams until `stop` becomes true (a signal handler
// sets it).  Returns 0, or raises VelmoraError when the pseudo-terminal cannot be made.
int run_pty(const Options& options, const std::string& link, const std::atomic<bool>& stop);

} // namespace sim
