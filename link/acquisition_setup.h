// Filling a data set from an instrument reader, as acquisition and the capture replay both do,
// and feeding a raw capture to a reader.
#pragma once

#include <cstddef>
#include <string>

#include "hyp_data.h"
#include "parent_reader.h"

// Sets the data set's channel description from a parsed device file: instrument_type (1 HYP,
// 2 FLW), a_wavelengths, c_wavelengths, num_wavelengths, for FLW a_order, c_order and
// channel_is_a, and header_lines = the device file's lines.
void setup_data_from_devfile(HYP_Data& data, const devfile& dev);

// Replaces the data set's records by the reader's decoded records (a copy, oldest first).
void copy_decoded_records(HYP_Data& data, const parent_reader& reader);

// Appends the reader's records from data.records.size() on; returns how many were added.
// Acquisition can call it on every tick so that the copy costs only the new records.
std::size_t append_new_records(HYP_Data& data, const parent_reader& reader);

struct CaptureFeed {
    std::size_t bytes = 0;         // bytes of the capture file
    std::size_t decode_errors = 0; // texts raised by process_bytes (FLW header errors)
    std::string first_error;       // the first of them
};

// Feeds a raw capture file to the reader in 4096-byte blocks, the last one holding the rest
// (none when the size is a multiple of 4096), through process_bytes as the serial port would.
// A text raised by process_bytes is counted and decoding goes on with the following bytes, as
// the acquisition tick does, so a replay gives the records of the live acquisition.
// Raises "Unable to open binary file." when the capture cannot be read.
CaptureFeed feed_capture(parent_reader& reader, const std::string& path);

// Decodes a whole capture already in memory the same way (tests and the benchmark).
CaptureFeed feed_bytes(parent_reader& reader, const std::uint8_t* bytes, std::size_t size,
                       std::size_t block = 4096);
