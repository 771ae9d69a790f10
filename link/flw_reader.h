// Reader of the nine-channel filter-wheel instrument's record stream: little-endian records of
// 637 bytes that begin with 00 FF 00 FF and carry ten measurement blocks each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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

    void find_sync();
    void read_header();
    void read_block();
    void read_reference();
    void convert_record();

  private:
    // Bytes the step of `mode` reads from scan_pos on.
    std::size_t step_size() const;
    void run_step();

    std::unique_ptr<FlwTrace> trace_; // VELMORA_FLW_TRACE
    // Stream channel (file-order channel line) of ascending a and c position k.
    int a_channel_[channels_per_kind] = {};
    int c_channel_[channels_per_kind] = {};
    bool channels_ready_ = false;
    // The record's signal counts, block after block, until its conversion.
    std::int32_t signals_[blocks_per_record * channels] = {};
    std::size_t signal_count_ = 0;
};
