// Filling a data set from an instrument reader, as acquisition and the capture replay both do.
#pragma once

#include "hyp_data.h"
#include "parent_reader.h"

// Sets the data set's channel description from the reader's device file: instrument_type
// (1 HYP, 2 FLW), a_wavelengths, c_wavelengths, num_wavelengths, serial_number, fac_cal_temp,
// FLW a_order, c_order and channel_is_a, and header_lines = the device file's lines.
void setup_data_from_devfile(HYP_Data& data, const devfile& dev);

// Replaces the data set's records by the reader's decoded records (a copy, oldest first).
void copy_decoded_records(HYP_Data& data, const parent_reader& reader);

// Appends the reader's records from data.records.size() on; returns how many were added.
// Acquisition calls it on every tick so the copy costs only the new records.
std::size_t append_new_records(HYP_Data& data, const parent_reader& reader);
