#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "acquisition_setup.h"
#include "flw_reader.h"
#include "link_test_util.h"
#include "parallel.h"
#include "simulator.h"
#include "text.h"

using linktest::TempDir;

namespace {

struct FlwRecord {
    std::uint16_t times[10] = {100, 200, 300, 400, 500, 600, 700, 800, 900, 1000};
    std::uint16_t signal[10][18];
    std::uint8_t fraction = 0x80;
    std::uint16_t reference[18];
    std::uint16_t temp_counts = 420;
    std::uint8_t serial[3] = {0x17, 0x42, 0x00}; // 4217
    std::uint8_t meter = 0x26;
    std::uint16_t length = 634;
    int checksum_delta = 0;

    FlwRecord() {
        for (auto& block : signal)
            for (auto& v : block)
                v = 20000;
        for (auto& v : reference)
            v = 20000;
    }
};

void le16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

std::vector<std::uint8_t> bytes_of(const FlwRecord& r) {
    std::vector<std::uint8_t> out = {0x00, 0xFF, 0x00, 0xFF};
    le16(out, r.length);
    out.insert(out.end(), {r.serial[0], r.serial[1], r.serial[2], r.meter});
    for (int i = 0; i < 4; ++i)
        le16(out, 0);
    for (int b = 0; b < 10; ++b) {
        le16(out, r.times[b]);
        for (int j = 0; j < 18; ++j) {
            le16(out, r.signal[b][j]);
            out.push_back(r.fraction);
        }
    }
    for (int j = 0; j < 18; ++j) {
        le16(out, r.reference[j]);
        out.push_back(r.fraction);
    }
    le16(out, r.temp_counts);
    std::uint32_t sum = 0;
    for (std::uint8_t b : out)
        sum += b;
    le16(out, (sum + std::uint32_t(r.checksum_delta)) & 0xFFFF);
    out.push_back(0);
    EXPECT_EQ(out.size(), 637u);
    return out;
}

class FlwReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reader.open_device_file(
            dir.write("f.dev", linktest::flw_devfile(linktest::flw_descending())));
        reader.status_sink = shown.sink();
    }
    void feed(const std::vector<std::uint8_t>& bytes) {
        reader.process_bytes(bytes.data(), bytes.size());
    }
    void feed(const FlwRecord& r) { feed(bytes_of(r)); }

    TempDir dir;
    flw_reader reader;
    linktest::Shown shown;
};

} // namespace

TEST_F(FlwReaderTest, RecordDecodedOnceMostOfTheNextHasArrived) {
    const auto first = bytes_of(FlwRecord());
    feed(first);
    EXPECT_TRUE(reader.decoded_records.empty());
    FlwRecord second;
    for (int b = 0; b < 10; ++b)
        second.times[b] = std::uint16_t(1100 + 100 * b);
    const auto next = bytes_of(second);
    feed(std::vector<std::uint8_t>(next.begin(), next.begin() + 633));
    EXPECT_TRUE(reader.decoded_records.empty());
    feed(std::vector<std::uint8_t>(next.begin() + 633, next.end()));
    ASSERT_EQ(reader.decoded_records.size(), 10u); // the second record stays undecoded
    for (int b = 0; b < 10; ++b)
        EXPECT_EQ(reader.decoded_records[b].time, 1000.0 * b);
    EXPECT_EQ(reader.packets.size(), 10u);
    EXPECT_EQ(reader.instrument_serial, 4217);
    EXPECT_TRUE(std::isnan(reader.packets.back().external_temperature));
    EXPECT_EQ(reader.packets.back().reference_counts.size(), 18u);
    EXPECT_EQ(shown.serial.back(), "flw4217");
    EXPECT_EQ(shown.external.back(), "");
    EXPECT_EQ(shown.stamp.back(), "Time running (ms): 9000");
    EXPECT_EQ(shown.internal.back(),
              "Internal Temp: " + text::format_fixed(flw_reader::internal_temperature(420), 1));
}

TEST_F(FlwReaderTest, ChannelsMappedToAscendingOrder) {
    // Device file lines: c760, a761, c720, a721, ...: line 2i is c of ascending position 8-i.
    FlwRecord r;
    for (int j = 0; j < 18; ++j)
        r.signal[0][j] = std::uint16_t(10000 + 500 * j);
    r.reference[17] = 0; // a of position 0: replaced by 100
    r.reference[16] = 0x1234;
    feed(r);
    feed(FlwRecord());
    ASSERT_GE(reader.decoded_records.size(), 1u);
    const hyp_data& d = reader.decoded_records[0];
    const devfile& dev = reader.dev;
    const double t = flw_reader::internal_temperature(420);
    for (int k = 0; k < 9; ++k) {
        const int jc = 2 * (8 - k), ja = jc + 1;
        double cref = reader.packets[0].reference_counts[jc];
        double aref = reader.packets[0].reference_counts[ja];
        aref = aref > 0 ? aref : 100;
        const double c = dev.c_offsets[k] - std::log(std::max(r.signal[0][jc] / cref, 0.0005)) * 4 +
                         dev.temp_adjustment(false, k, t);
        const double a = dev.a_offsets[k] - std::log(std::max(r.signal[0][ja] / aref, 0.0005)) * 4 +
                         dev.temp_adjustment(true, k, t);
        EXPECT_NEAR(d.c_values[k], c, 1e-12) << k;
        EXPECT_NEAR(d.a_values[k], a, 1e-12) << k;
    }
    // The three-byte value 34 12 80: count 0x1234, the fraction byte dropped.
    EXPECT_EQ(reader.packets[0].reference_counts[16], 0x1234);
}

TEST_F(FlwReaderTest, RolloverAddsFortyAndCounterRange) {
    FlwRecord a, b;
    for (int i = 0; i < 10; ++i)
        a.times[i] = std::uint16_t(65440 + 10 * i); // ... 65530
    for (int i = 0; i < 10; ++i)
        b.times[i] = std::uint16_t(5 + 10 * i);
    feed(a);
    feed(b);
    feed(FlwRecord());
    ASSERT_EQ(reader.decoded_records.size(), 20u);
    EXPECT_EQ(reader.rollovers, 1);
    EXPECT_EQ(reader.decoded_records[9].time, 900.0);
    EXPECT_EQ(reader.decoded_records[10].time, double((5 + 40 + 65535) * 10 - 654400));
}

TEST_F(FlwReaderTest, HeaderErrorsRaiseAndDecodingResumes) {
    FlwRecord hyp_meter;
    hyp_meter.meter = 0x35;
    FlwRecord bad_length;
    bad_length.length = 633;
    std::vector<std::uint8_t> s = bytes_of(hyp_meter);
    const auto more = bytes_of(bad_length);
    s.insert(s.end(), more.begin(), more.end());
    for (int i = 0; i < 2; ++i) {
        const auto good = bytes_of(FlwRecord());
        s.insert(s.end(), good.begin(), good.end());
    }
    std::vector<std::string> errors;
    CaptureFeed fed = feed_bytes(reader, s.data(), s.size(), s.size());
    EXPECT_EQ(fed.decode_errors, 2u);
    EXPECT_EQ(fed.first_error, "This is an hyp meter, not an flw!");
    EXPECT_EQ(reader.decoded_records.size(), 20u); // the last record too, at the end
    EXPECT_THROW(
        {
            flw_reader r;
            r.open_device_file(dir.file("f.dev"));
            const auto b = bytes_of(bad_length);
            std::vector<std::uint8_t> two = b;
            two.insert(two.end(), b.begin(), b.end());
            try {
                r.process_bytes(two.data(), two.size());
            } catch (const VelmoraError& e) {
                EXPECT_STREQ(e.what(), "Pack record length not correct");
                throw;
            }
        },
        VelmoraError);
}

TEST_F(FlwReaderTest, ChecksumFailureDropsRecordSilently) {
    FlwRecord bad;
    bad.checksum_delta = 3;
    FlwRecord later;
    for (int i = 0; i < 10; ++i)
        later.times[i] = std::uint16_t(5000 + i);
    feed(bad);
    feed(later);
    feed(FlwRecord());
    ASSERT_EQ(reader.decoded_records.size(), 10u);
    EXPECT_EQ(reader.decoded_records[1].time, 10.0);
    EXPECT_EQ(reader.first_stamp, 50000u);
}

TEST(FlwSerial, BcdDigits) {
    TempDir dir;
    flw_reader r;
    r.open_device_file(dir.write("f.dev", linktest::flw_devfile(linktest::flw_descending())));
    FlwRecord rec;
    rec.serial[0] = 0x21;
    rec.serial[1] = 0x43;
    rec.serial[2] = 0x65;
    auto b = bytes_of(rec);
    b.resize(b.size() + 634, 0x11);
    r.process_bytes(b.data(), b.size());
    EXPECT_EQ(r.instrument_serial, 654321);
}

TEST(FlwDevice, AnyParseFailureHasTheReadersText) {
    TempDir dir;
    flw_reader r;
    try {
        r.open_device_file(dir.write("f.dev", "FLW\n1\n"));
        FAIL() << "no error";
    } catch (const VelmoraError& e) {
        EXPECT_STREQ(e.what(), "Unable to open Device File.");
    }
}

TEST(FlwChunks, EveryChunkSizeGivesTheSameRecords) {
    sim::Options o;
    o.model = sim::Model::FLW;
    o.dev_path = VELMORA_DATA_DIR "/sample_flw.dev";
    o.faults = sim::parse_faults("garbage,checksum,midstart");
    sim::Simulator s(o);
    std::vector<std::uint8_t> bytes;
    s.append_records(bytes, 12);
    flw_reader whole;
    whole.open_device_file(o.dev_path);
    feed_bytes(whole, bytes.data(), bytes.size(), bytes.size());
    ASSERT_GE(whole.decoded_records.size(), 80u);
    for (std::size_t chunk = 1; chunk <= 4096; ++chunk) {
        flw_reader r;
        r.open_device_file(o.dev_path);
        feed_bytes(r, bytes.data(), bytes.size(), chunk);
        ASSERT_EQ(r.decoded_records.size(), whole.decoded_records.size()) << chunk;
        if (chunk % 97 == 1)
            linktest::expect_same_records(r.decoded_records, whole.decoded_records,
                                          "chunk " + std::to_string(chunk));
    }
}

// At the end of the stream an FLW record whose 637 bytes are all there gives its ten records;
// one byte short, it gives none.
TEST_F(FlwReaderTest, FinishDecodesALastRecordWhoseBytesAreAllThere) {
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{300}}) {
        SCOPED_TRACE(cut);
        flw_reader r;
        r.open_device_file(dir.file("f.dev"));
        std::vector<std::uint8_t> bytes = {0x12, 0x34, 0x56}; // garbage before the first sync
        const std::vector<std::uint8_t> one = bytes_of(FlwRecord());
        bytes.insert(bytes.end(), one.begin(), one.end() - static_cast<std::ptrdiff_t>(cut));
        const CaptureFeed fed = feed_bytes(r, bytes.data(), bytes.size());
        EXPECT_EQ(fed.decode_errors, 0u);
        ASSERT_EQ(r.decoded_records.size(), cut == 0 ? 10u : 0u);
        EXPECT_EQ(r.packets.size(), r.decoded_records.size());
        if (cut == 0) {
            EXPECT_EQ(r.decoded_records[9].time, 9000.0);
        }
        r.finish();
        EXPECT_EQ(r.decoded_records.size(), cut == 0 ? 10u : 0u);
        EXPECT_EQ(r.raw_bytes, bytes);
    }
}

// The batch replay converts an FLW capture's values on several threads once the records are
// framed; whatever the capture holds (garbage, checksum and header faults, a start in the middle
// of a record), the records, packets, errors and capture are those of the one-thread replay.
TEST(FlwBatchReplay, EveryThreadCountGivesTheRecordsOfOneThread) {
    struct Tuned {
        parallel::Tuning saved = parallel::tuning();
        ~Tuned() { parallel::tuning() = saved; }
    } restore;
    sim::Options o;
    o.model = sim::Model::FLW;
    o.dev_path = VELMORA_DATA_DIR "/sample_flw.dev";
    o.faults = sim::parse_faults("all");
    sim::Simulator s(o);
    std::vector<std::uint8_t> bytes;
    s.append_records(bytes, 400);
    // Records that fail the header checks, one in the middle of a simulated record.
    FlwRecord wrong_length, hyp_meter;
    wrong_length.length = 600;
    hyp_meter.meter = 0x35;
    for (const FlwRecord* r : {&wrong_length, &hyp_meter}) {
        const std::vector<std::uint8_t> bad = bytes_of(*r);
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 3), bad.begin(),
                     bad.end());
    }
    TempDir dir;
    const std::string path = dir.file("faults.bin");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));

    struct Replay {
        TakenRecords taken;
        CaptureFeed feed;
        flw_reader reader;
    };
    auto replay = [&](unsigned threads, bool from_file, Replay& out) {
        parallel::tuning().threads = threads;
        out.reader.open_device_file(o.dev_path);
        out.feed = from_file ? feed_capture(out.reader, path, &out.taken)
                             : feed_bytes(out.reader, bytes.data(), bytes.size(), 4096, &out.taken);
    };
    Replay one;
    replay(1, false, one);
    ASSERT_GE(one.taken.records.size(), 3000u);
    ASSERT_GT(one.feed.decode_errors, 0u); // the faults reach the header checks too
    for (unsigned threads : {2u, 3u}) {
        for (bool from_file : {false, true}) {
            SCOPED_TRACE(std::to_string(threads) + (from_file ? " threads, file" : " threads"));
            Replay r;
            replay(threads, from_file, r);
            EXPECT_EQ(r.feed.decode_errors, one.feed.decode_errors);
            EXPECT_EQ(r.feed.first_error, one.feed.first_error);
            EXPECT_EQ(r.reader.raw_bytes, one.reader.raw_bytes);
            EXPECT_EQ(r.reader.packets.size(), one.reader.packets.size());
            EXPECT_EQ(r.reader.decoded_count, one.reader.decoded_count);
            EXPECT_TRUE(r.reader.decoded_records.empty());
            ASSERT_EQ(r.taken.records.size(), one.taken.records.size());
            for (std::size_t i = 0; i < r.taken.records.size(); ++i) {
                const hyp_data& a = r.taken.records[i];
                const hyp_data& b = one.taken.records[i];
                ASSERT_EQ(a.a_values.size(), 9u) << "record " << i;
                ASSERT_EQ(a.time, b.time) << "record " << i;
                ASSERT_EQ(a.a_values, b.a_values) << "record " << i;
                ASSERT_EQ(a.c_values, b.c_values) << "record " << i;
            }
        }
    }
    // The live path (records left in the reader) converts at once, to the same values.
    flw_reader live;
    live.open_device_file(o.dev_path);
    parallel::tuning().threads = 2;
    feed_bytes(live, bytes.data(), bytes.size(), 2048);
    ASSERT_EQ(live.decoded_records.size(), one.taken.records.size());
    for (std::size_t i = 0; i < live.decoded_records.size(); ++i)
        ASSERT_EQ(live.decoded_records[i].a_values, one.taken.records[i].a_values) << i;
}
