// The reader framework: the operations through which acquisition and replay drive a reader,
// the raw capture, the decoded packets and records, and the status sink of the acquisition panel.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devfile.h"
#include "hyp_data.h"
#include "serial.h"

// Status sink for five labels of the acquisition panel.
class ACR_Helper {
  public:
    virtual ~ACR_Helper() = default;
    virtual void show_progress(const std::string&) {}
    virtual void show_internal_temp(const std::string&) {}
    virtual void show_external_temp(const std::string&) {}
    virtual void show_serial(const std::string&) {}
    virtual void show_time_stamp(const std::string&) {}
};

// One record as received; each model fills the fields its format carries.
struct packet {
    std::uint8_t sync_bytes[4] = {0, 0, 0, 0};
    std::uint32_t record_length = 0;
    std::uint8_t header_byte6 = 0;
    std::uint32_t reserved = 0;
    std::uint8_t header_byte8 = 0;
    std::uint32_t serial_number = 0;
    std::uint32_t word12 = 0;
    std::uint32_t pressure_counts = 0;
    std::uint32_t word16 = 0;
    std::int32_t external_temp_counts = 0;
    std::int32_t internal_temp_counts = 0;
    std::uint32_t word22 = 0;
    std::uint32_t word24 = 0;
    std::uint32_t time_stamp = 0; // ms (HYP)
    std::uint32_t byte30 = 0;
    std::uint32_t wl_count = 0;
    std::vector<double> c_reference;
    std::vector<double> a_reference;
    std::vector<double> c_signal;
    std::vector<double> a_signal;
    std::uint32_t checksum = 0;
    std::uint8_t pad_byte = 0;
    std::uint32_t status = 0;
    std::uint32_t filter_wheel = 0;
    double external_temperature = 0.0; // degrees C; NaN when the model carries none (FLW)
    std::int32_t block_times[10] = {};
    std::vector<std::int32_t> signal_counts;
    std::vector<std::int32_t> reference_counts; // FLW: 18 per record, file order
};

// The decoded packets, oldest first, one per decoded record.  A packet that stands for several
// records (the ten blocks of an FLW record share one header and one set of reference counts) is
// kept once, with the number of records it stands for.
class PacketLog {
  public:
    void push_back(const packet& p, std::size_t records = 1);
    std::size_t size() const { return total_; }
    bool empty() const { return total_ == 0; }
    // The packet of record i (0 = the oldest kept).
    const packet& operator[](std::size_t i) const;
    const packet& back() const { return entries_.back(); }
    void clear();
    // Drops every packet but the newest (readers whose packets nobody reads past the newest).
    void keep_newest_only();

  private:
    std::deque<packet> entries_;
    std::vector<std::size_t> ends_; // records up to and including each entry
    std::size_t total_ = 0;
};

// The placeholder reader installed at program start; every operation does nothing.
class parent_reader {
  public:
    parent_reader();
    virtual ~parent_reader();
    parent_reader(const parent_reader&) = delete;
    parent_reader& operator=(const parent_reader&) = delete;

    std::vector<std::uint8_t> raw_bytes; // every byte since the last start
    PacketLog packets;
    std::int32_t wavelength_count = -1;
    std::int32_t lost_records = 0;
    std::uint32_t first_stamp = 0;
    devfile dev;
    std::unique_ptr<Serial> serial_port;
    bool synced = false;
    // Records decoded and not yet taken (take_records), oldest first.
    std::deque<hyp_data> decoded_records;
    // HYP: the external temperature (degrees C) of each record in decoded_records; FLW: empty.
    std::deque<double> decoded_external_temps;
    // Records decoded since the last start, taken or not; the first one sets the time base.
    std::size_t decoded_count = 0;
    std::int32_t instrument_serial = -1;
    // The acquisition panel's labels; none (no texts are made at all) until the owner sets one.
    std::unique_ptr<ACR_Helper> status_sink;

    // Makes the port that `start` opens; tests and the headless logger may replace it.
    std::function<std::unique_ptr<Serial>()> make_serial;

    virtual void open_device_file(const std::string& path);
    virtual void save_raw(const std::string& path);
    virtual void set_port(int port_number);
    virtual void start();
    virtual void poll();
    virtual void stop();
    virtual void process_bytes(const std::uint8_t* bytes, std::size_t count);
    // The end of the stream (end of a replay, Stop): decodes a final record whose bytes are all
    // there, which process_bytes leaves waiting for the following record.  Raises what
    // process_bytes raises; calling it again resumes.
    virtual void finish();

    // Moves the records decoded so far to the end of `into` and, when `external_temps` is given,
    // their external temperatures to the end of that (HYP only).  Returns how many were taken.
    std::size_t take_records(std::vector<hyp_data>& into, std::vector<double>* external_temps);

  protected:
    // Shared by both models' operations (the placeholder's own operations do nothing).
    // Writes raw_bytes to `path` as it stands; raises "Unable to open file for saving.".
    void write_raw_capture(const std::string& path) const;
    // Clears the capture, packets and records, makes a fresh port with make_serial and opens
    // "COM<port_number>" at the device file's speed; raises "Could Not Open COM%1d".
    void reset_and_open(int port_number);
    // A fresh record at the end of decoded_records, its lists empty with room for n values.
    hyp_data& new_record(std::size_t n);
    // Reads at most `room` bytes from the open port into `buffer`; 0 when none or no port.
    int read_port(std::uint8_t* buffer, int room);
    // Appends bytes to raw_bytes (amortised growth, never a copy per call).
    void append_raw(const std::uint8_t* bytes, std::size_t count);
};
