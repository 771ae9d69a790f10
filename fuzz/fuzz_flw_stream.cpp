// The filter-wheel instrument's byte stream, in chunks whose sizes the input names, against
// the sample device file.
#include "flw_reader.h"
#include "stream_check.h"

namespace {

// Each record's checksum word: the sum of its 634 bytes from the sync on, little-endian.
void repair_checksums(std::vector<std::uint8_t>& b) {
    std::size_t s = 0;
    while (s + flw_reader::record_length_field + 2 <= b.size()) {
        if (!(b[s] == 0x00 && b[s + 1] == 0xFF && b[s + 2] == 0x00 && b[s + 3] == 0xFF)) {
            ++s;
            continue;
        }
        const std::size_t end = s + flw_reader::record_length_field;
        std::uint32_t sum = 0;
        for (std::size_t i = s; i < end; ++i)
            sum += b[i];
        b[end] = static_cast<std::uint8_t>(sum);
        b[end + 1] = static_cast<std::uint8_t>(sum >> 8);
        s = end + 2;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::check_stream(
        data, size,
        [] {
            auto r = std::make_unique<flw_reader>();
            r->open_device_file(VELMORA_DATA_DIR "/sample_flw.dev");
            return r;
        },
        repair_checksums);
    return 0;
}
