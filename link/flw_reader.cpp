#include "flw_reader.h"

#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>

#include "byte_view.h"
#include "count_conversion.h"
#include "text.h"

namespace {

// Six BCD digits, lowest pair first.
std::uint32_t bcd_serial(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
    return (b0 & 0xFu) + 10u * (b0 >> 4) + 100u * (b1 & 0xFu) + 1000u * (b1 >> 4) +
           10000u * (b2 & 0xFu) + 100000u * (b2 >> 4);
}

} // namespace

double flw_reader::internal_temperature(std::int32_t n) {
    const double x = n;
    return 0.045113 * x + 10.61831 - 4891.32 / x + 208130.2 / (x * x) + 1171473 / (x * x * x);
}

flw_reader::flw_reader() : trace_(FlwTrace::from_environment()) {
    wavelength_count = channels_per_kind;
}

flw_reader::~flw_reader() = default;

void flw_reader::open_device_file(const std::string& path) {
    try {
        dev.parse(path);
    } catch (const std::exception&) {
        throw VelmoraError("Unable to open Device File.");
    }
    if (dev.is_flw == 0 || dev.channel_is_a.size() != static_cast<std::size_t>(channels))
        throw VelmoraError("Unable to open Device File.");
    // Stream channel j is the j-th channel line; ascending a position k is the a_order[k]-th
    // a line in file order.
    std::vector<int> a_lines, c_lines;
    for (int j = 0; j < channels; ++j)
        (dev.channel_is_a[static_cast<std::size_t>(j)] ? a_lines : c_lines).push_back(j);
    for (int k = 0; k < channels_per_kind; ++k) {
        a_channel_[k] = a_lines[static_cast<std::size_t>(dev.a_order[static_cast<std::size_t>(k)])];
        c_channel_[k] = c_lines[static_cast<std::size_t>(dev.c_order[static_cast<std::size_t>(k)])];
    }
    channels_ready_ = true;
}

void flw_reader::save_raw(const std::string& path) {
    write_raw_capture(path);
}

void flw_reader::set_port(int number) {
    port_number = number;
}

void flw_reader::start() {
    mode = 0;
    scan_pos = 0;
    sync_state = 0;
    block_index = 0;
    current_packet = packet();
    reset_and_open(port_number);
}

void flw_reader::poll() {
    std::uint8_t buffer[4096];
    const int got = read_port(buffer, static_cast<int>(sizeof buffer));
    process_bytes(buffer, static_cast<std::size_t>(got));
}

void flw_reader::stop() {
    try {
        if (serial_port)
            serial_port->close();
    } catch (const std::exception&) {
    }
}

void flw_reader::run_step() {
    switch (mode) {
    case 0:
        find_sync();
        break;
    case 1:
        read_header();
        break;
    case 2:
        read_block();
        break;
    case 3:
        read_reference();
        break;
    default:
        convert_record();
        break;
    }
}

void flw_reader::process_bytes(const std::uint8_t* bytes, std::size_t count) {
    append_raw(bytes, count);
    while (raw_bytes.size() - scan_pos >= record_length_field)
        run_step();
}

std::size_t flw_reader::step_size() const {
    switch (mode) {
    case 0:
        return 7; // the search stops six bytes before the end
    case 1:
        return 14; // length, serial, meter type and four header words
    case 2:
        return 2 + 3 * channels; // block time and signals
    case 3:
        return 3 * channels + 5; // references, internal temperature, checksum, pad byte
    default:
        return 0;
    }
}

void flw_reader::finish() {
    while (raw_bytes.size() - scan_pos >= step_size())
        run_step();
}

void flw_reader::find_sync() {
    const std::size_t stop = raw_bytes.size() - 6;
    const std::uint8_t* data = raw_bytes.data();
    int state = sync_state;
    while (scan_pos < stop) {
        const std::uint8_t b = data[scan_pos++];
        if (trace_)
            trace_->sync_byte(b);
        // 00 FF 00 FF
        if (b == 0x00)
            state = (state == 0 || state == 2) ? state + 1 : 1;
        else if (b == 0xFF)
            state = (state == 1 || state == 3) ? state + 1 : 0;
        else
            state = 0;
        if (state == 4) {
            sync_state = 0;
            mode = 1;
            return;
        }
    }
    sync_state = state;
}

void flw_reader::read_header() {
    checksum_start = scan_pos - 4;
    const ByteView v(raw_bytes.data() + scan_pos, raw_bytes.size() - scan_pos);
    packet& p = current_packet;
    signal_count_ = 0;
    p.reference_counts.clear();
    p.record_length = v.le16(0);
    p.serial_number = bcd_serial(v.u8(2), v.u8(3), v.u8(4));
    const std::uint8_t meter_type = v.u8(5);
    if (trace_)
        trace_->header(v, p.serial_number);
    scan_pos += 6;
    if (meter_type == 0x35) {
        mode = 0;
        sync_state = 0;
        throw VelmoraError("This is an hyp meter, not an flw!");
    }
    if (p.record_length != record_length_field) {
        mode = 0;
        sync_state = 0;
        throw VelmoraError("Pack record length not correct");
    }
    instrument_serial = static_cast<std::int32_t>(p.serial_number);
    if (status_sink) {
        char text[96];
        if (p.serial_number == dev.serial_number)
            std::snprintf(text, sizeof text, "flw%03u", static_cast<unsigned>(p.serial_number));
        else
            std::snprintf(text, sizeof text, "flw%03u\tSerial number in devfile: %u",
                          static_cast<unsigned>(p.serial_number),
                          static_cast<unsigned>(dev.serial_number));
        status_sink->show_serial(text);
    }
    p.status = v.le16(6);
    p.filter_wheel = v.le16(8);
    p.pressure_counts = v.le16(10);
    p.reserved = v.le16(12);
    if (trace_)
        trace_->header_words(v);
    scan_pos += 8;
    mode = 2;
}

void flw_reader::read_block() {
    const ByteView v(raw_bytes.data() + scan_pos, raw_bytes.size() - scan_pos);
    packet& p = current_packet;
    p.block_times[block_index] = static_cast<std::int32_t>(v.le16(0));
    if (trace_)
        trace_->block(v, channels);
    // Each signal: a 16-bit count and a fraction byte in 1/256; the fraction is dropped.
    const ByteView signals = v.sub(2, 3 * std::size_t(channels));
    if (signal_count_ + channels > std::size(signals_))
        throw VelmoraError("Record ends before its declared length.");
    if (deferred_) {
        // convert_deferred reads them from the capture.
        signal_count_ += channels;
    } else {
        for (std::size_t j = 0; j < std::size_t(channels); ++j)
            signals_[signal_count_++] = static_cast<std::int32_t>(signals.le16(3 * j));
    }
    scan_pos += 2 + 3 * channels;
    if (++block_index == blocks_per_record) {
        block_index = 0;
        mode = 3;
    }
}

void flw_reader::read_reference() {
    const ByteView v(raw_bytes.data() + scan_pos, raw_bytes.size() - scan_pos);
    packet& p = current_packet;
    for (int j = 0; j < channels; ++j)
        p.reference_counts.push_back(static_cast<std::int32_t>(v.le16(3 * std::size_t(j))));
    std::size_t at = 3 * channels;
    p.internal_temp_counts = static_cast<std::int32_t>(v.le16(at));
    at += 2;
    checksum_pos = scan_pos + at;
    p.checksum = v.le16(at);
    at += 2;
    const ByteView record(raw_bytes.data() + checksum_start, checksum_pos - checksum_start);
    const std::uint32_t sum = record.sum16(0, record.size());
    if (trace_)
        trace_->reference(v, channels, sum);
    scan_pos += at;
    if (sum != p.checksum) {
        // Dropped silently; the search resumes at the pad byte.
        mode = 0;
        sync_state = 0;
        signal_count_ = 0;
        p.reference_counts.clear();
        for (std::int32_t& t : p.block_times)
            t = 0;
        return;
    }
    p.pad_byte = v.u8(at);
    ++scan_pos;
    mode = 4;
}

void flw_reader::convert_record() {
    packet& p = current_packet;
    mode = 0;
    sync_state = 0;
    if (!channels_ready_ || signal_count_ != std::size(signals_) ||
        p.reference_counts.size() != std::size_t(channels)) {
        signal_count_ = 0;
        p.reference_counts.clear();
        return;
    }
    if (status_sink) {
        const double t_int = internal_temperature(p.internal_temp_counts);
        status_sink->show_internal_temp("Internal Temp: " + text::format_fixed(t_int, 1));
        status_sink->show_external_temp("");
    }
    // The record carries no external temperature.
    p.external_temperature = std::numeric_limits<double>::quiet_NaN();

    hyp_data* records[blocks_per_record];
    const std::size_t first_record = decoded_count;
    for (int b = 0; b < blocks_per_record; ++b) {
        std::uint32_t t = static_cast<std::uint32_t>(p.block_times[b]);
        if (decoded_count == 0) {
            rollovers = 0;
            first_stamp = 0;
            last_raw_time = 0;
        }
        if (static_cast<std::int32_t>(t) < last_raw_time)
            ++rollovers;
        last_raw_time = static_cast<std::int32_t>(t);
        const std::uint32_t raw = t;
        if (rollovers > 0)
            t = t + 40u + static_cast<std::uint32_t>(rollovers) * 65535u;
        t = t * 10u;
        if (trace_)
            trace_->block_time(raw, t);

        // Records converted elsewhere get the room for their lists here, so that their memory
        // comes from this thread's heap and converting allocates nothing.
        hyp_data& r = deferred_ ? new_record(channels_per_kind) : decoded_records.emplace_back();
        records[b] = &r;
        if (decoded_count == 0) {
            first_stamp = t;
            r.time = 0.0;
        } else {
            r.time = static_cast<double>(static_cast<std::uint32_t>(t - first_stamp));
        }
        p.block_times[b] = static_cast<std::int32_t>(static_cast<std::uint32_t>(r.time));
        ++decoded_count;
    }
    if (deferred_)
        deferred_->push_back({checksum_start, first_record});
    else
        fill_values(signals_, p.reference_counts.data(), p.internal_temp_counts, records);
    // One packet for the ten records of the blocks.
    packets.push_back(p, blocks_per_record);
    if (trace_ && rollovers > 0)
        trace_->rollovers(static_cast<int>(rollovers));
    if (status_sink) {
        char text[48];
        std::snprintf(text, sizeof text, "Time running (ms): %i", p.block_times[9]);
        status_sink->show_time_stamp(text);
    }
    p.reference_counts.clear();
    signal_count_ = 0;
}

void flw_reader::fill_values(const std::int32_t* signals, const std::int32_t* references,
                             std::int32_t temp_counts, hyp_data* const* records) const {
    const double t_int = internal_temperature(temp_counts);
    const devfile::TempPosition at = dev.locate_temperature(t_int);
    const double inv_path = 1 / dev.path_length;
    // Per channel in ascending order: reference, offset and temperature adjustment, the same for
    // the ten blocks of the record.
    double ref_a[channels_per_kind], ref_c[channels_per_kind];
    double offset_a[channels_per_kind], offset_c[channels_per_kind];
    double adjust_a[channels_per_kind], adjust_c[channels_per_kind];
    for (int k = 0; k < channels_per_kind; ++k) {
        const auto ks = static_cast<std::size_t>(k);
        ref_a[k] = references[a_channel_[k]];
        ref_c[k] = references[c_channel_[k]];
        offset_a[k] = dev.a_offsets[ks];
        offset_c[k] = dev.c_offsets[ks];
        adjust_a[k] = dev.temp_adjustment_at(true, k, at);
        adjust_c[k] = dev.temp_adjustment_at(false, k, at);
    }
    for (int b = 0; b < blocks_per_record; ++b) {
        const std::int32_t* sig = signals + b * channels;
        // Ratios, their logs and the values in three passes, so that the ratios and values are
        // computed side by side between the calls of the log (the same operations per channel).
        double ln_a[channels_per_kind], ln_c[channels_per_kind];
        for (int k = 0; k < channels_per_kind; ++k) {
            ln_a[k] = counts::floored_ratio(sig[a_channel_[k]], ref_a[k]);
            ln_c[k] = counts::floored_ratio(sig[c_channel_[k]], ref_c[k]);
        }
        for (int k = 0; k < channels_per_kind; ++k) {
            ln_a[k] = std::log(ln_a[k]);
            ln_c[k] = std::log(ln_c[k]);
        }
        double a[channels_per_kind], c[channels_per_kind];
        for (int k = 0; k < channels_per_kind; ++k) {
            a[k] = counts::from_log_ratio(ln_a[k], offset_a[k], inv_path, adjust_a[k]);
            c[k] = counts::from_log_ratio(ln_c[k], offset_c[k], inv_path, adjust_c[k]);
        }
        records[b]->a_values.assign(a, a + channels_per_kind);
        records[b]->c_values.assign(c, c + channels_per_kind);
    }
}

void flw_reader::convert_deferred(const DeferredRecord& d, const std::uint8_t* capture,
                                  std::size_t size, hyp_data* const* records) const {
    // The layout read by read_block and read_reference, from the first sync byte on.
    constexpr std::size_t blocks_at = 18, block_size = 2 + 3 * channels;
    constexpr std::size_t references_at = blocks_at + blocks_per_record * block_size;
    constexpr std::size_t temp_at = references_at + 3 * channels;
    if (d.start > size)
        throw VelmoraError("Record ends before its declared length.");
    const ByteView v(capture + d.start, size - d.start);
    // Checked once for the whole record; the loops below stay inside it.
    const std::uint8_t* body = v.sub(0, temp_at + 2).data();
    const auto le16 = [body](std::size_t at) {
        return static_cast<std::int32_t>(body[at] | body[at + 1] << 8);
    };
    std::int32_t signals[blocks_per_record * channels];
    std::int32_t references[channels];
    for (std::size_t b = 0; b < std::size_t(blocks_per_record); ++b)
        for (std::size_t j = 0; j < std::size_t(channels); ++j)
            signals[b * channels + j] = le16(blocks_at + b * block_size + 2 + 3 * j);
    for (std::size_t j = 0; j < std::size_t(channels); ++j)
        references[j] = le16(references_at + 3 * j);
    fill_values(signals, references, le16(temp_at), records);
}
