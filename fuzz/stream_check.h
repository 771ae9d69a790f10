// The stream targets' common part: feed the input to a reader in the chunks it names, as the
// acquisition tick does (a raised text is counted and decoding resumes), then feed the same
// bytes in one piece to a second reader: both must keep every byte and decode the same records.
#pragma once

#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_util.h"
#include "parent_reader.h"

namespace fuzz {

// Makes every status text, as the acquisition panel would.
class CountingSink : public ACR_Helper {
  public:
    void show_progress(const std::string& s) override { chars += s.size(); }
    void show_internal_temp(const std::string& s) override { chars += s.size(); }
    void show_external_temp(const std::string& s) override { chars += s.size(); }
    void show_serial(const std::string& s) override { chars += s.size(); }
    void show_time_stamp(const std::string& s) override { chars += s.size(); }
    std::size_t chars = 0;
};

// Feeds one chunk; a raised text resumes decoding with no new bytes until it stops raising.
// A reader that raises without ever getting through the bytes it holds would hang the
// acquisition, so a bound well above one text per record ends such a run as a finding.
inline std::size_t feed(parent_reader& r, const std::uint8_t* bytes, std::size_t count) {
    std::size_t errors = 0;
    const std::size_t bound = r.raw_bytes.size() + count + 16;
    for (;;) {
        try {
            r.process_bytes(bytes, count);
            return errors;
        } catch (const VelmoraError&) {
            if (++errors > bound)
                fail("process_bytes keeps raising without progress");
            bytes = nullptr;
            count = 0;
        }
    }
}

inline bool same_records(const parent_reader& x, const parent_reader& y) {
    if (x.decoded_records.size() != y.decoded_records.size() ||
        x.packets.size() != y.packets.size() || x.lost_records != y.lost_records)
        return false;
    for (std::size_t i = 0; i < x.decoded_records.size(); ++i) {
        const hyp_data& a = x.decoded_records[i];
        const hyp_data& b = y.decoded_records[i];
        if (std::memcmp(&a.time, &b.time, sizeof a.time) != 0 ||
            a.a_values.size() != b.a_values.size() || a.c_values.size() != b.c_values.size())
            return false;
        if (!a.a_values.empty() && std::memcmp(a.a_values.data(), b.a_values.data(),
                                               a.a_values.size() * sizeof(double)) != 0)
            return false;
        if (!a.c_values.empty() && std::memcmp(a.c_values.data(), b.c_values.data(),
                                               a.c_values.size() * sizeof(double)) != 0)
            return false;
    }
    return true;
}

// `make` returns a reader ready for bytes (device file opened).  Mutated records almost never
// carry a right checksum, so for inputs of odd length `repair` first writes the right sums into
// a copy, and the decoding steps behind the checksum test get mutated records too.
template <typename Make, typename Repair>
void check_stream(const std::uint8_t* input, std::size_t size, Make&& make, Repair&& repair) {
    std::vector<std::uint8_t> copy;
    const std::uint8_t* data = input;
    if (size % 2 == 1) {
        copy.assign(input, input + size);
        repair(copy);
        data = copy.data();
    }
    const Chunks chunks = split(data, size);

    std::unique_ptr<parent_reader> chunked = make();
    chunked->status_sink = std::make_unique<CountingSink>();
    std::size_t at = 0, errors_chunked = 0;
    for (std::size_t len : chunks.lengths) {
        errors_chunked += feed(*chunked, data + at, len);
        at += len;
    }
    if (chunked->raw_bytes.size() != chunks.stream_size ||
        (chunks.stream_size > 0 &&
         std::memcmp(chunked->raw_bytes.data(), data, chunks.stream_size) != 0))
        fail("the capture differs from the bytes received");

    std::unique_ptr<parent_reader> whole = make();
    const std::size_t errors_whole = feed(*whole, data, chunks.stream_size);
    if (!same_records(*chunked, *whole))
        fail("chunked and whole streams decode to different records");
    if ((errors_chunked == 0) != (errors_whole == 0))
        fail("chunked and whole streams differ in raised texts");
    for (const hyp_data& rec : chunked->decoded_records)
        if (rec.a_values.size() != chunked->dev.a_wl.size() ||
            rec.c_values.size() != chunked->dev.c_wl.size())
            fail("a record's channel count differs from the device file's");
}

} // namespace fuzz
