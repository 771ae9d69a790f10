// Reader of the nine-channel filter-wheel instrument's record stream: little-endian records of
// 637 bytes that begin with 00 FF 00 FF and carry ten measurement blocks each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "parent_reader.h"

class flw_reader : public parent_reader {
  public:
    flw_reader();
    ~flw_reader() override;

    static constexpr std::size_t record_length_field = 634; // bytes in front of the checksum
    static constexpr std::size_t record_size = 637;
    static constexpr int blocks_per_record = 10;
    static constexpr int channels = 18; // nine a and nine c channel lines, file order

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

    void find_sync();
    void read_header();
    void read_block();
    void read_reference();
    void convert_record();

    // Diagnostic hex trace of every record, off unless VELMORA_FLW_TRACE names a file (or
    // open_trace is called).  Never written to the terminal of a normal run.
    void open_trace(const std::string& path);
    void close_trace();

  private:
    std::FILE* trace_ = nullptr;
    // Stream channel (file-order channel line) of ascending a and c position k.
    int a_channel_[9] = {};
    int c_channel_[9] = {};
    bool channels_ready_ = false;
    std::vector<std::int32_t> signals_; // the record's signals while its blocks are converted
};
