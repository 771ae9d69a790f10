#include "hyp_reader.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "byte_view.h"
#include "count_conversion.h"
#include "text.h"

// The thermistor of the internal temperature.
double hyp_reader::internal_temperature(std::int32_t counts) {
    const double v = counts * 5.0 / 65535.0;
    double r = 10000.0 * v / (4.516 - v);
    if (!(r > 500.0))
        r = 500.0;
    const double l = std::log(r);
    return 1.0 / (0.00093135 + 0.000221631 * l + 1.25741e-7 * l * l * l) - 273.15;
}

double hyp_reader::external_temperature(std::int32_t m) {
    return ((-7.1023317e-13 * m + 7.0934192e-08) * m - 0.00387065673) * m + 95.8241397;
}

hyp_reader::hyp_reader() = default;

void hyp_reader::open_device_file(const std::string& path) {
    try {
        dev.parse(path);
    } catch (const VelmoraError&) {
        throw;
    } catch (const std::exception&) {
        throw VelmoraError("Unable to open device file.");
    }
}

void hyp_reader::save_raw(const std::string& path) {
    write_raw_capture(path);
}

void hyp_reader::set_port(int number) {
    port_number = number;
}

void hyp_reader::start() {
    sync_state = 0;
    record_start = next_start = 0;
    reset_and_open(port_number);
}

void hyp_reader::poll() {
    std::uint8_t buffer[2048];
    const int got = read_port(buffer, static_cast<int>(sizeof buffer));
    process_bytes(buffer, static_cast<std::size_t>(got));
}

void hyp_reader::stop() {
    if (serial_port)
        serial_port->close();
}

void hyp_reader::process_bytes(const std::uint8_t* bytes, std::size_t count) {
    std::size_t pos = raw_bytes.size();
    append_raw(bytes, count);
    const std::size_t end = raw_bytes.size();
    int state = sync_state;
    const std::uint8_t* data = raw_bytes.data();
    for (; pos < end; ++pos) {
        if (state == 0) {
            // Between records only an FF can begin a pattern.
            const void* ff = std::memchr(data + pos, 0xFF, end - pos);
            if (ff == nullptr)
                break;
            pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - data);
        }
        // FF 00 FF 00; a byte that breaks the pattern may itself begin it.
        const std::uint8_t b = data[pos];
        if (b == 0xFF)
            state = (state == 0 || state == 2) ? state + 1 : 1;
        else if (b == 0x00)
            state = (state == 1 || state == 3) ? state + 1 : 0;
        else
            state = 0;
        if (state != 4)
            continue;
        state = 0;
        const std::size_t sync_at = pos - 3;
        if (synced && sync_at >= record_start + header_size &&
            record_start + record_size(raw_bytes[record_start + header_size - 1]) == sync_at + 2) {
            // A checksum whose low byte is FF, the zero pad byte and the first half of the next
            // sync read as a sync pattern; the real one starts two bytes on.
            state = 2;
            continue;
        }
        if (!synced) {
            synced = true;
            record_start = sync_at;
            continue;
        }
        next_start = sync_at;
        decode_pending();
        record_start = next_start;
    }
    sync_state = state;
}

void hyp_reader::decode_pending() {
    try {
        decode_record();
    } catch (const VelmoraError&) {
        ++lost_records;
    }
    if (status_sink) {
        char text[64];
        std::snprintf(text, sizeof text, "%i of %i records lost", lost_records,
                      static_cast<int>(decoded_count) + lost_records);
        status_sink->show_progress(text);
    }
}

void hyp_reader::finish() {
    const std::size_t end = raw_bytes.size();
    if (!synced || record_start >= end || end - record_start < header_size)
        return;
    if (end - record_start < record_size(raw_bytes[record_start + header_size - 1]))
        return;
    next_start = end;
    decode_pending();
    // The record is used up; bytes that may follow begin at a new sync.
    synced = false;
    sync_state = 0;
    record_start = next_start = end;
}

void hyp_reader::decode_record() {
    if (next_start < record_start || next_start > raw_bytes.size())
        throw VelmoraError("Record ends before its declared length.");
    // The record owns the bytes up to the sync that ends it, and no more.
    const ByteView v(raw_bytes.data() + record_start, next_start - record_start);
    packet& p = scratch_;
    for (int i = 0; i < 4; ++i)
        p.sync_bytes[i] = v.u8(static_cast<std::size_t>(i));
    p.record_length = v.be16(4);
    p.header_byte6 = v.u8(6);
    p.reserved = v.u8(7);
    p.header_byte8 = v.u8(8);
    p.serial_number = v.be24(9);
    p.word12 = v.be16(12);
    p.pressure_counts = v.be16(14);
    p.word16 = v.be16(16);
    p.external_temp_counts = static_cast<std::int32_t>(v.be16(18));
    p.internal_temp_counts = static_cast<std::int32_t>(v.be16(20));
    p.word22 = v.be16(22);
    p.word24 = v.be16(24);
    p.time_stamp = v.be32(26);
    p.byte30 = v.u8(30);
    p.wl_count = v.u8(31);
    instrument_serial = static_cast<std::int32_t>(p.serial_number);

    const std::size_t n = p.wl_count;
    if (n != dev.a_wl.size())
        throw VelmoraError(
            "ac meter does not have the same number of wavelengths as the device file.");
    wavelength_count = static_cast<std::int32_t>(n);
    if (!v.has(0, record_size(n)))
        throw VelmoraError("Record ends before its declared length.");

    const std::size_t counts_end = header_size + bytes_per_wavelength * n;
    p.checksum = v.be16(counts_end);
    p.pad_byte = v.u8(counts_end + 2);
    if (p.pad_byte != 0)
        throw VelmoraError("Pad byte is not zero.");
    convert_record(p);
}

void hyp_reader::convert_record(packet& p) {
    const std::size_t n = p.wl_count;
    const std::size_t counts_end = header_size + bytes_per_wavelength * n;
    const ByteView v(raw_bytes.data() + record_start, raw_bytes.size() - record_start);
    if (v.sum16(0, counts_end) != p.checksum)
        return; // dropped silently
    const ByteView counts = v.sub(header_size, bytes_per_wavelength * n);
    auto count_at = [&counts](std::size_t k, std::size_t field) {
        return static_cast<double>(counts.be16(bytes_per_wavelength * k + 2 * field));
    };

    hyp_data& r = new_record(n);
    if (decoded_count == 0) {
        first_stamp = p.time_stamp;
        r.time = 0.0;
    } else {
        r.time = static_cast<double>(static_cast<std::uint32_t>(p.time_stamp - first_stamp));
    }
    const double t_int = internal_temperature(p.internal_temp_counts);
    const double t_ext = external_temperature(p.external_temp_counts);
    p.external_temperature = t_ext;

    const devfile::TempPosition at = dev.locate_temperature(t_int);
    r.a_values.resize(n);
    r.c_values.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        // Per wavelength: c reference, a reference, c signal, a signal.
        const int ch = static_cast<int>(i);
        r.a_values[i] =
            counts::to_coefficient(count_at(i, 3), count_at(i, 1), dev.a_offsets[i],
                                   counts::hyp_inverse_path, dev.temp_adjustment_at(true, ch, at));
        r.c_values[i] =
            counts::to_coefficient(count_at(i, 2), count_at(i, 0), dev.c_offsets[i],
                                   counts::hyp_inverse_path, dev.temp_adjustment_at(false, ch, at));
    }
    decoded_external_temps.push_back(t_ext);
    ++decoded_count;

    // Only the newest packet is read (for its external temperature); the counts stay in the
    // capture and are not copied into it.
    packets.clear();
    packets.push_back(p);

    if (status_sink) {
        char text[96];
        std::snprintf(text, sizeof text, "Time stamp: %u",
                      static_cast<unsigned>(p.time_stamp - first_stamp));
        status_sink->show_time_stamp(text);
        if (p.serial_number == dev.serial_number)
            std::snprintf(text, sizeof text, "hyp%03u", static_cast<unsigned>(p.serial_number));
        else
            std::snprintf(text, sizeof text, "hyp%03u\tSerial number of devfile: %u",
                          static_cast<unsigned>(p.serial_number),
                          static_cast<unsigned>(dev.serial_number));
        status_sink->show_serial(text);
        status_sink->show_internal_temp("Internal temperature: " + text::format_fixed(t_int, 1));
        status_sink->show_external_temp("External temperature: " + text::format_fixed(t_ext, 1));
    }
}
