#include "flw_trace.h"

#include <cstdlib>

#include "byte_view.h"

std::unique_ptr<FlwTrace> FlwTrace::open(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "a");
    if (f == nullptr)
        return nullptr;
    return std::unique_ptr<FlwTrace>(new FlwTrace(f));
}

std::unique_ptr<FlwTrace> FlwTrace::from_environment() {
    const char* path = std::getenv("VELMORA_FLW_TRACE");
    if (path == nullptr || *path == '\0')
        return nullptr;
    return open(path);
}

FlwTrace::~FlwTrace() {
    std::fclose(file_);
}

void FlwTrace::sync_byte(std::uint8_t b) {
    std::fprintf(file_, "%02X ", b);
}

void FlwTrace::header(const ByteView& v, std::uint32_t serial) {
    std::fprintf(file_, "\n%02X %02X       ;record length:         %i\n", v.u8(1), v.u8(0),
                 static_cast<int>(v.le16(0)));
    std::fprintf(file_, "%02X %02X %02X %02X ;Serial number:         %i\n", v.u8(4), v.u8(3),
                 v.u8(2), v.u8(5), static_cast<int>(serial));
}

void FlwTrace::header_words(const ByteView& v) {
    static const char* const labels[4] = {"status:               ", "filter wheel:         ",
                                          "pressure counts:      ", "reserved:             "};
    for (int i = 0; i < 4; ++i) {
        const std::size_t at = 6 + 2 * static_cast<std::size_t>(i);
        std::fprintf(file_, "%02X %02X       ;%s %i\n", v.u8(at + 1), v.u8(at), labels[i],
                     static_cast<int>(v.le16(at)));
    }
}

void FlwTrace::block(const ByteView& v, int channels) {
    std::fprintf(file_, "%02X %02X  ", v.u8(1), v.u8(0));
    for (int j = 0; j < channels; ++j) {
        const std::size_t at = 2 + 3 * static_cast<std::size_t>(j);
        std::fprintf(file_, "%02X %02X %02X  ", v.u8(at + 2), v.u8(at + 1), v.u8(at));
    }
    std::fputs(" ;Time and signal data\n", file_);
}

void FlwTrace::reference(const ByteView& v, int channels, std::uint32_t sum) {
    for (int j = 0; j < channels; ++j) {
        const std::size_t at = 3 * static_cast<std::size_t>(j);
        std::fprintf(file_, "%02X %02X %02X  ", v.u8(at + 2), v.u8(at + 1), v.u8(at));
    }
    const std::size_t temp_at = 3 * static_cast<std::size_t>(channels);
    const std::size_t sum_at = temp_at + 2;
    const std::uint32_t expected = v.le16(sum_at);
    std::fputs(" ; Reference data \n", file_);
    std::fprintf(file_, "%02X %02X       ; internal temp counts: %i\n", v.u8(temp_at + 1),
                 v.u8(temp_at), static_cast<int>(v.le16(temp_at)));
    std::fprintf(file_, "%02X %02X       ; Checksum:             %i  ", v.u8(sum_at + 1),
                 v.u8(sum_at), static_cast<int>(expected));
    if (sum != expected)
        std::fprintf(file_, "Failed checksum; added to %i\n, expected %i\n", static_cast<int>(sum),
                     static_cast<int>(expected));
}

void FlwTrace::block_time(std::uint32_t raw, std::uint32_t adjusted) {
    std::fprintf(file_, "\nTime:  %u", raw);
    std::fprintf(file_, "Time:  %u", adjusted);
}

void FlwTrace::rollovers(int count) {
    std::fprintf(file_, "Rollover event #%i occured.\n", count);
}
