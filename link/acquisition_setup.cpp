#include "acquisition_setup.h"

#include <fstream>
#include <vector>

void setup_data_from_devfile(HYP_Data& data, const devfile& dev) {
    data.instrument_type = dev.is_flw ? 2 : 1;
    data.a_wavelengths = dev.a_wl;
    data.c_wavelengths = dev.c_wl;
    data.num_wavelengths = static_cast<std::int32_t>(dev.a_wl.size());
    if (dev.is_flw) {
        data.a_order = dev.a_order;
        data.c_order = dev.c_order;
        data.channel_is_a = dev.channel_is_a;
    } else {
        data.a_order.clear();
        data.c_order.clear();
        data.channel_is_a.clear();
    }
    data.header_lines = dev.lines;
}

void copy_decoded_records(HYP_Data& data, const parent_reader& reader) {
    data.records.assign(reader.decoded_records.begin(), reader.decoded_records.end());
}

std::size_t append_new_records(HYP_Data& data, const parent_reader& reader) {
    const std::size_t have = data.records.size();
    const std::size_t total = reader.decoded_records.size();
    if (have >= total)
        return 0;
    data.records.insert(data.records.end(),
                        reader.decoded_records.begin() + static_cast<std::ptrdiff_t>(have),
                        reader.decoded_records.end());
    return total - have;
}

namespace {

// One block, with a raised text counted and the decoder run on until it stops raising.
void feed_one(parent_reader& reader, const std::uint8_t* bytes, std::size_t count,
              CaptureFeed& feed) {
    for (;;) {
        try {
            reader.process_bytes(bytes, count);
            return;
        } catch (const VelmoraError& e) {
            if (feed.decode_errors++ == 0)
                feed.first_error = e.what();
            bytes = nullptr; // the bytes are in the buffer already; resume decoding
            count = 0;
        }
    }
}

} // namespace

CaptureFeed feed_bytes(parent_reader& reader, const std::uint8_t* bytes, std::size_t size,
                       std::size_t block) {
    CaptureFeed feed;
    feed.bytes = size;
    if (block == 0)
        block = 4096;
    reader.raw_bytes.reserve(reader.raw_bytes.size() + size);
    std::size_t done = 0;
    while (size - done >= block) {
        feed_one(reader, bytes + done, block, feed);
        done += block;
    }
    feed_one(reader, bytes + done, size - done, feed);
    return feed;
}

CaptureFeed feed_capture(parent_reader& reader, const std::string& path) {
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (!in.is_open())
        throw VelmoraError("Unable to open binary file.");
    CaptureFeed feed;
    std::vector<std::uint8_t> block(4096);
    // The whole capture ends up in raw_bytes: one allocation instead of repeated doubling.
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0)
        reader.raw_bytes.reserve(reader.raw_bytes.size() + static_cast<std::size_t>(size));
    for (;;) {
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        feed.bytes += got;
        CaptureFeed one;
        feed_one(reader, block.data(), got, one);
        if (one.decode_errors > 0 && feed.decode_errors == 0)
            feed.first_error = one.first_error;
        feed.decode_errors += one.decode_errors;
        if (got < block.size()) {
            if (in.bad())
                throw VelmoraError("Unable to open binary file.");
            break;
        }
    }
    return feed;
}
