// Filling a data set from an instrument reader, as acquisition and the capture replay both do,
// and feeding a raw capture to a reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hyp_data.h"
#include "parent_reader.h"

// Sets the data set's channel description from a parsed device file: instrument_type (1 HYP,
// 2 FLW), a_wavelengths, c_wavelengths, num_wavelengths, for FLW a_order, c_order and
// channel_is_a, and header_lines = the device file's lines.
void setup_data_from_devfile(HYP_Data& data, const devfile& dev);

// Records taken out of a reader, oldest first, with (HYP) the external temperature of each.
struct TakenRecords {
    std::vector<hyp_data> records;
    std::vector<double> external_temps; // HYP: one per record; FLW: empty
};

// Moves the reader's decoded records onto the end of data.records; returns how many.  For HYP
// each record's external temperature goes into onboard_list as its onboard temperature, so the
// data files written from the data set carry it.  The acquisition tick calls it every time.
std::size_t take_decoded_records(HYP_Data& data, parent_reader& reader);

// Replaces the data set's records (and their onboard temperatures) by `taken`.
void replace_records(HYP_Data& data, TakenRecords&& taken);

struct CaptureFeed {
    std::size_t bytes = 0;         // bytes of the capture file
    std::size_t decode_errors = 0; // texts raised by process_bytes (FLW header errors)
    std::string first_error;       // the first of them
};

// Feeds a raw capture file to the reader in 4096-byte blocks, the last one holding the rest
// (none when the size is a multiple of 4096), through process_bytes as the serial port would,
// then ends the stream with finish so that a complete final record is decoded too.
// A text raised by process_bytes is counted and decoding goes on with the following bytes, as
// the acquisition tick does, so a replay gives the records of the live acquisition.
// With `take`, the records are moved out of the reader into it block by block, so that they
// are never held twice; an FLW capture then has its records' values converted on every
// processor once it is framed, with the same records as on one.  Raises "Unable to open binary
// file." when the capture cannot be read.
CaptureFeed feed_capture(parent_reader& reader, const std::string& path,
                         TakenRecords* take = nullptr);

// Decodes a whole capture already in memory the same way (tests and the benchmark).
CaptureFeed feed_bytes(parent_reader& reader, const std::uint8_t* bytes, std::size_t size,
                       std::size_t block = 4096, TakenRecords* take = nullptr);

// Ends the stream (Stop): finish, with a raised text counted and decoding resumed.
CaptureFeed finish_stream(parent_reader& reader);

// A raw capture holds only the instrument's bytes; the start time of its first record is kept
// beside it in CAPTURE.start, one line "start=YYYY-MM-DDThh:mm:ss.sssZ".
std::string capture_start_path(const std::string& capture);
// Writes CAPTURE.start with `start`; without a start time removes one left there by an earlier
// capture of that name.  Raises "Unable to open file for saving.  Is this file opened in another
// program?" when it cannot be written.
void save_capture_start(const std::string& capture, std::optional<std::int64_t> start);
// The start time in CAPTURE.start; nothing when there is no such file or its line is not a
// start time.
std::optional<std::int64_t> read_capture_start(const std::string& capture);
