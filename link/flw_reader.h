// Reader of the nine-channel filter-wheel instrument's record stream: little-endian records of
// 637 bytes that begin with 00 FF 00 FF and carry ten measurement blocks each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devfile_layout.h"
#include "flw_trace.h"
#include "parent_reader.h"

class flw_reader : public parent_reader {
  public:
    flw_reader();
    ~flw_reader() override;

    static constexpr std::size_t record_length_field = 634; // bytes in front of the checksum
    static constexpr std::size_t record_size = 637;
    static constexpr int blocks_per_record = 10;
    static constexpr int channels_per_kind =
        static_cast<int>(devfile_layout::flw_channels_per_kind);
    static constexpr int channels = 2 * channels_per_kind; // the channel lines, file order

    // Internal temperature (degrees C) from the record's counts.
    static double internal_temperature(std::int32_t counts);

    std::int32_t port_number = 0;
    int mode = 0; // 0 sync search, 1 header, 2 blocks, 3 reference data, 4 conversion
    std::size_t scan_pos = 0;
    std::size_t checksum_start = 0;
    std::size_t checksum_pos = 0;
    packet current_packet;
    int block_index = 0;
    std::int32_t rollovers = 0;
    std::int32_t last_raw_time = 0;
    int sync_state = 0; // matcher progress, kept from one process_bytes call to the next

    void open_device_file(const std::string& path) override;
    void save_raw(const std::string& path) override;
    void set_port(int port_number) override;
    void start() override;
    void poll() override;
    void stop() override;
    // Appends the bytes and runs the decoding steps while a record's worth of bytes waits.
    // Raises "This is an hyp meter, not an flw!" and "Pack record length not correct".
    void process_bytes(const std::uint8_t* bytes, std::size_t count) override;
    // Runs the steps on while each has the bytes it reads, so that a final record whose 637
    // bytes are all there is decoded.
    void finish() override;

    // A record whose values are left for later: the position of its first sync byte in
    // raw_bytes and the number, counted since start, of the first of its ten records.
    struct DeferredRecord {
        std::size_t start = 0;
        std::size_t first_record = 0;
    };
    // With a list, convert_record frames each record as always (times, packets, labels) but
    // leaves its records' a and c values empty and notes the record in the list, for the batch
    // replay to convert on several threads; nullptr converts at once again.
    void defer_values(std::vector<DeferredRecord>* into) { deferred_ = into; }
    // The a and c values of the ten records of `d`, read again from the capture, into
    // records[0..9]: those convert_record gives.  `capture` is raw_bytes.data() and `size` at
    // least the end of the record; it reads nothing else than the capture and the device file,
    // so other threads may convert records that are framed while this one frames the next.
    void convert_deferred(const DeferredRecord& d, const std::uint8_t* capture, std::size_t size,
                          hyp_data* const* records) const;

    void find_sync();
    void read_header();
    void read_block();
    void read_reference();
    void convert_record();

  private:
    // Bytes the step of `mode` reads from scan_pos on.
    std::size_t step_size() const;
    void run_step();
    // The a and c values of a record's ten blocks from its signal counts (ten blocks of 18, file
    // order), its 18 reference counts and its internal temperature counts.
    void fill_values(const std::int32_t* counts, const std::int32_t* references,
                     std::int32_t temp_counts, hyp_data* const* records) const;

    std::unique_ptr<FlwTrace> trace_; // VELMORA_FLW_TRACE
    // Stream channel (file-order channel line) of ascending a and c position k.
    int a_channel_[channels_per_kind] = {};
    int c_channel_[channels_per_kind] = {};
    bool channels_ready_ = false;
    // The record's signal counts, block after block, until its conversion.
    std::int32_t signals_[blocks_per_record * channels] = {};
    std::size_t signal_count_ = 0;
    std::vector<DeferredRecord>* deferred_ = nullptr;
};
