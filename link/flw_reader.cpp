#include "flw_reader.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "byte_view.h"
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

flw_reader::flw_reader() {
    wavelength_count = 9;
    if (const char* path = std::getenv("VELMORA_FLW_TRACE"); path != nullptr && *path != '\0')
        open_trace(path);
}

flw_reader::~flw_reader() {
    close_trace();
}

void flw_reader::open_trace(const std::string& path) {
    close_trace();
    trace_ = std::fopen(path.c_str(), "a");
}

void flw_reader::close_trace() {
    if (trace_ != nullptr)
        std::fclose(trace_);
    trace_ = nullptr;
}

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
    for (int k = 0; k < 9; ++k) {
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

void flw_reader::process_bytes(const std::uint8_t* bytes, std::size_t count) {
    append_raw(bytes, count);
    while (raw_bytes.size() - scan_pos >= record_length_field) {
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
}

void flw_reader::find_sync() {
    const std::size_t stop = raw_bytes.size() - 6;
    const std::uint8_t* data = raw_bytes.data();
    int state = sync_state;
    while (scan_pos < stop) {
        const std::uint8_t b = data[scan_pos++];
        if (trace_)
            std::fprintf(trace_, "%02X ", b);
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
    p.signal_counts.clear();
    p.reference_counts.clear();
    p.record_length = v.le16(0);
    p.serial_number = bcd_serial(v.u8(2), v.u8(3), v.u8(4));
    const std::uint8_t meter_type = v.u8(5);
    if (trace_) {
        std::fprintf(trace_, "\n%02X %02X       ;record length:         %i\n", v.u8(1), v.u8(0),
                     static_cast<int>(p.record_length));
        std::fprintf(trace_, "%02X %02X %02X %02X ;Serial number:         %i\n", v.u8(4), v.u8(3),
                     v.u8(2), meter_type, static_cast<int>(p.serial_number));
    }
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
    if (trace_) {
        static const char* const labels[4] = {"status:               ", "filter wheel:         ",
                                              "pressure counts:      ", "reserved:             "};
        for (int i = 0; i < 4; ++i) {
            const std::size_t at = 6 + 2 * static_cast<std::size_t>(i);
            std::fprintf(trace_, "%02X %02X       ;%s %i\n", v.u8(at + 1), v.u8(at), labels[i],
                         static_cast<int>(v.le16(at)));
        }
    }
    scan_pos += 8;
    mode = 2;
}

void flw_reader::read_block() {
    const ByteView v(raw_bytes.data() + scan_pos, raw_bytes.size() - scan_pos);
    packet& p = current_packet;
    p.block_times[block_index] = static_cast<std::int32_t>(v.le16(0));
    if (trace_)
        std::fprintf(trace_, "%02X %02X  ", v.u8(1), v.u8(0));
    for (int j = 0; j < channels; ++j) {
        const std::size_t at = 2 + 3 * static_cast<std::size_t>(j);
        // A 16-bit count and a fraction byte in 1/256; the fraction is dropped.
        p.signal_counts.push_back(static_cast<std::int32_t>(v.le16(at)));
        if (trace_)
            std::fprintf(trace_, "%02X %02X %02X  ", v.u8(at + 2), v.u8(at + 1), v.u8(at));
    }
    if (trace_)
        std::fputs(" ;Time and signal data\n", trace_);
    scan_pos += 2 + 3 * channels;
    if (++block_index == blocks_per_record) {
        block_index = 0;
        mode = 3;
    }
}

void flw_reader::read_reference() {
    const ByteView v(raw_bytes.data() + scan_pos, raw_bytes.size() - scan_pos);
    packet& p = current_packet;
    for (int j = 0; j < channels; ++j) {
        const std::size_t at = 3 * static_cast<std::size_t>(j);
        p.reference_counts.push_back(static_cast<std::int32_t>(v.le16(at)));
        if (trace_)
            std::fprintf(trace_, "%02X %02X %02X  ", v.u8(at + 2), v.u8(at + 1), v.u8(at));
    }
    std::size_t at = 3 * channels;
    p.internal_temp_counts = static_cast<std::int32_t>(v.le16(at));
    at += 2;
    checksum_pos = scan_pos + at;
    p.checksum = v.le16(at);
    at += 2;
    scan_pos += at;
    const ByteView record(raw_bytes.data() + checksum_start, checksum_pos - checksum_start);
    const std::uint32_t sum = record.sum16(0, record.size());
    if (trace_) {
        std::fputs(" ; Reference data \n", trace_);
        std::fprintf(trace_, "%02X %02X       ; internal temp counts: %i\n", v.u8(3 * channels + 1),
                     v.u8(3 * channels), static_cast<int>(p.internal_temp_counts));
        std::fprintf(trace_, "%02X %02X       ; Checksum:             %i  ", v.u8(at - 1),
                     v.u8(at - 2), static_cast<int>(p.checksum));
    }
    if (sum != p.checksum) {
        if (trace_)
            std::fprintf(trace_, "Failed checksum; added to %i\n, expected %i\n",
                         static_cast<int>(sum), static_cast<int>(p.checksum));
        // Dropped silently; the search resumes at the pad byte.
        mode = 0;
        sync_state = 0;
        p.signal_counts.clear();
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
    if (!channels_ready_ || p.signal_counts.size() != std::size_t(blocks_per_record * channels) ||
        p.reference_counts.size() != std::size_t(channels)) {
        p.signal_counts.clear();
        p.reference_counts.clear();
        return;
    }
    const double t_int = internal_temperature(p.internal_temp_counts);
    if (status_sink) {
        status_sink->show_internal_temp("Internal Temp: " + text::format_fixed(t_int, 1));
        status_sink->show_external_temp("");
    }
    // The record carries no external temperature.
    p.external_temperature = std::numeric_limits<double>::quiet_NaN();
    const devfile::TempPosition at = dev.locate_temperature(t_int);
    const double inv_path = 1 / dev.path_length;
    // The temperature adjustment of each channel: one internal temperature per record.
    double adjust_a[9];
    double adjust_c[9];
    for (int k = 0; k < 9; ++k) {
        adjust_a[k] = dev.temp_adjustment_at(true, k, at);
        adjust_c[k] = dev.temp_adjustment_at(false, k, at);
    }

    // The packets keep the reference counts (the reference view plots them) but not the signals;
    // the signal list's storage is kept for the next record.
    signals_.swap(p.signal_counts);
    p.signal_counts.clear();

    for (int b = 0; b < blocks_per_record; ++b) {
        std::uint32_t t = static_cast<std::uint32_t>(p.block_times[b]);
        if (decoded_records.empty()) {
            rollovers = 0;
            first_stamp = 0;
            last_raw_time = 0;
        }
        if (static_cast<std::int32_t>(t) < last_raw_time)
            ++rollovers;
        last_raw_time = static_cast<std::int32_t>(t);
        if (trace_)
            std::fprintf(trace_, "\nTime:  %u", t);
        if (rollovers > 0)
            t = t + 40u + static_cast<std::uint32_t>(rollovers) * 65535u;
        t = t * 10u;
        if (trace_)
            std::fprintf(trace_, "Time:  %u", t);

        current_record.a_values.clear();
        current_record.c_values.clear();
        if (decoded_records.empty()) {
            first_stamp = t;
            current_record.time = 0.0;
        } else {
            current_record.time = static_cast<double>(static_cast<std::uint32_t>(t - first_stamp));
        }
        p.block_times[b] =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(current_record.time));

        const std::int32_t* sig = signals_.data() + b * channels;
        for (int k = 0; k < 9; ++k) {
            const int ja = a_channel_[k];
            const int jc = c_channel_[k];
            double aref = p.reference_counts[static_cast<std::size_t>(ja)];
            double cref = p.reference_counts[static_cast<std::size_t>(jc)];
            if (!(aref > 0))
                aref = 100;
            if (!(cref > 0))
                cref = 100;
            double ra = sig[ja] / aref;
            double rc = sig[jc] / cref;
            if (ra < 0.0005)
                ra = 0.0005;
            if (rc < 0.0005)
                rc = 0.0005;
            const double c =
                dev.c_offsets[static_cast<std::size_t>(k)] - std::log(rc) * inv_path + adjust_c[k];
            const double a =
                dev.a_offsets[static_cast<std::size_t>(k)] - std::log(ra) * inv_path + adjust_a[k];
            current_record.a_values.push_back(a);
            current_record.c_values.push_back(c);
        }
        packets.push_back(p);
        decoded_records.push_back(current_record);
    }
    if (trace_ && rollovers > 0)
        std::fprintf(trace_, "Rollover event #%i occured.\n", static_cast<int>(rollovers));
    if (status_sink) {
        char text[48];
        std::snprintf(text, sizeof text, "Time running (ms): %i", p.block_times[9]);
        status_sink->show_time_stamp(text);
    }
    p.reference_counts.clear();
    p.signal_counts.swap(signals_);
    p.signal_counts.clear();
}
