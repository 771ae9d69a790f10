// Reader of the hyperspectral instrument's record stream: big-endian records that begin with
// the sync pattern FF 00 FF 00, one spectrum each, decoded when the next record's sync arrives.
#pragma once

#include <cstddef>
#include <cstdint>

#include "parent_reader.h"

class hyp_reader : public parent_reader {
  public:
    hyp_reader();

    // Record layout: 32 header bytes, 8 count bytes per wavelength, checksum word, pad byte.
    static constexpr std::size_t header_size = 32;
    static constexpr std::size_t bytes_per_wavelength = 8;
    static constexpr std::size_t trailer_size = 3;
    static std::size_t record_size(std::size_t wavelengths) {
        return header_size + bytes_per_wavelength * wavelengths + trailer_size;
    }

    // Temperatures (degrees C) from the record's counts.
    static double internal_temperature(std::int32_t counts);
    static double external_temperature(std::int32_t counts);

    std::size_t record_start = 0; // first sync byte of the pending record in raw_bytes
    std::size_t next_start = 0;   // first sync byte of the record that ends it
    std::int32_t port_number = 0;
    int sync_state = 0; // matcher progress, kept from one process_bytes call to the next

    void open_device_file(const std::string& path) override;
    void save_raw(const std::string& path) override;
    void set_port(int port_number) override;
    void start() override;
    void poll() override;
    void stop() override;
    // Appends the bytes and decodes every record whose end is marked by a following sync.
    // Never raises: unusable records are counted in lost_records.
    void process_bytes(const std::uint8_t* bytes, std::size_t count) override;
    // Decodes the pending record when all its bytes (its length from its wavelength count) are
    // there, as a following sync would; an incomplete one is left undecoded and not counted.
    void finish() override;

    // Reads the record between record_start and next_start; raises when it is unusable.
    void decode_record();
    // Checks the checksum and, when it holds, appends one record converted straight from the
    // counts in the capture; the packet's four count lists stay empty (nothing reads them).
    void convert_record(packet& p);

  private:
    // Decodes the pending record, counts it when unusable and shows the lost-record count.
    void decode_pending();

    packet scratch_; // the header fields of the record being decoded
};
