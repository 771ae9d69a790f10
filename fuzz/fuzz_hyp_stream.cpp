// The hyperspectral instrument's byte stream, in chunks whose sizes the input names, against
// the sample device file.
#include "hyp_reader.h"
#include "stream_check.h"

namespace {

// Each record's checksum word: the sum of its bytes from the sync to the last count, big-endian.
void repair_checksums(std::vector<std::uint8_t>& b) {
    std::size_t s = 0;
    while (s + hyp_reader::header_size <= b.size()) {
        if (!(b[s] == 0xFF && b[s + 1] == 0x00 && b[s + 2] == 0xFF && b[s + 3] == 0x00)) {
            ++s;
            continue;
        }
        const std::size_t end =
            s + hyp_reader::header_size + hyp_reader::bytes_per_wavelength * b[s + 31];
        if (end + 2 > b.size())
            break;
        std::uint32_t sum = 0;
        for (std::size_t i = s; i < end; ++i)
            sum += b[i];
        b[end] = static_cast<std::uint8_t>(sum >> 8);
        b[end + 1] = static_cast<std::uint8_t>(sum);
        s = end + 2;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const devfile dev = [] {
        hyp_reader r;
        r.open_device_file(VELMORA_DATA_DIR "/sample_hyp.dev");
        return r.dev;
    }();
    fuzz::check_stream(
        data, size,
        [] {
            auto r = std::make_unique<hyp_reader>();
            r->dev = dev;
            return r;
        },
        repair_checksums);
    return 0;
}
