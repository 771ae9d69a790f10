#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>

#include "acquisition_setup.h"
#include "hyp_reader.h"
#include "link_test_util.h"
#include "simulator.h"

using linktest::TempDir;

namespace {

struct HypRecord {
    std::vector<std::array<std::uint16_t, 4>> counts; // c ref, a ref, c sig, a sig
    std::uint32_t stamp = 1000;
    std::uint32_t serial = 7;
    std::uint16_t internal = 30000;
    std::uint16_t external = 30000;
    int wl_count = -1; // -1: counts.size()
    std::uint8_t pad = 0;
    int checksum_delta = 0;
};

void be16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}

std::vector<std::uint8_t> bytes_of(const HypRecord& r) {
    std::vector<std::uint8_t> out = {0xFF, 0x00, 0xFF, 0x00};
    be16(out, 35 + 8 * r.counts.size());
    out.insert(out.end(), {0x05, 0x01, 0x53});
    out.insert(out.end(),
               {std::uint8_t(r.serial >> 16), std::uint8_t(r.serial >> 8), std::uint8_t(r.serial)});
    be16(out, 0);
    be16(out, 0);
    be16(out, 0);
    be16(out, r.external);
    be16(out, r.internal);
    be16(out, 0);
    be16(out, 0);
    be16(out, r.stamp >> 16);
    be16(out, r.stamp & 0xFFFF);
    out.push_back(1);
    out.push_back(std::uint8_t(r.wl_count < 0 ? r.counts.size() : std::size_t(r.wl_count)));
    for (const auto& c : r.counts)
        for (std::uint16_t v : c)
            be16(out, v);
    std::uint32_t sum = 0;
    for (std::uint8_t b : out)
        sum += b;
    be16(out, (sum + std::uint32_t(r.checksum_delta)) & 0xFFFF);
    out.push_back(r.pad);
    return out;
}

HypRecord plain(std::uint32_t stamp, std::uint16_t sig = 20000) {
    HypRecord r;
    r.counts.assign(3, {20000, 20000, sig, sig});
    r.stamp = stamp;
    return r;
}

class HypReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reader.open_device_file(dir.write("h.dev", linktest::hyp_devfile(3)));
        reader.status_sink = shown.sink();
    }
    void feed(const std::vector<std::uint8_t>& bytes) {
        reader.process_bytes(bytes.data(), bytes.size());
    }
    void feed(const HypRecord& r) { feed(bytes_of(r)); }

    TempDir dir;
    hyp_reader reader;
    linktest::Shown shown;
};

} // namespace

TEST_F(HypReaderTest, RecordDecodedWhenNextSyncArrives) {
    feed(plain(5000));
    EXPECT_TRUE(reader.decoded_records.empty());
    feed(plain(5250));
    ASSERT_EQ(reader.decoded_records.size(), 1u);
    feed(std::vector<std::uint8_t>{0xFF, 0x00, 0xFF});
    EXPECT_EQ(reader.decoded_records.size(), 1u);
    feed(std::vector<std::uint8_t>{0x00}); // completes the sync of a third record
    ASSERT_EQ(reader.decoded_records.size(), 2u);
    EXPECT_EQ(reader.decoded_records[0].time, 0.0);
    EXPECT_EQ(reader.decoded_records[1].time, 250.0);
    EXPECT_EQ(reader.first_stamp, 5000u);
    EXPECT_EQ(reader.wavelength_count, 3);
    EXPECT_EQ(reader.instrument_serial, 7);
    // Only the newest packet is kept, without its count lists.
    EXPECT_EQ(reader.packets.size(), 1u);
    EXPECT_TRUE(reader.packets.back().a_signal.empty());
    EXPECT_EQ(shown.serial.back(), "hyp007");
    EXPECT_EQ(shown.stamp.back(), "Time stamp: 250");
    EXPECT_EQ(shown.progress.back(), "0 of 2 records lost");
}

TEST_F(HypReaderTest, ConversionOfCounts) {
    HypRecord r = plain(100);
    r.counts[1] = {20000, 20000, 20000, 20000}; // ratio 1
    r.counts[2] = {0, 30000, 0, 15000};         // c ref 0 -> 100 and signal 0 -> 0.0005
    feed(r);
    feed(plain(200));
    ASSERT_EQ(reader.decoded_records.size(), 1u);
    const hyp_data& d = reader.decoded_records[0];
    const double t = hyp_reader::internal_temperature(30000);
    const devfile& dev = reader.dev;
    EXPECT_DOUBLE_EQ(d.c_values[1], dev.c_offsets[1] + dev.temp_adjustment(false, 1, t));
    EXPECT_DOUBLE_EQ(d.a_values[1], dev.a_offsets[1] + dev.temp_adjustment(true, 1, t));
    EXPECT_NEAR(d.c_values[2] - dev.c_offsets[2] - dev.temp_adjustment(false, 2, t),
                -4 * std::log(0.0005), 1e-9);
    EXPECT_NEAR(d.a_values[2] - dev.a_offsets[2] - dev.temp_adjustment(true, 2, t),
                -4 * std::log(0.5), 1e-9);
    EXPECT_DOUBLE_EQ(reader.packets[0].external_temperature,
                     hyp_reader::external_temperature(30000));
}

TEST(HypTemperatures, ThermistorLimits) {
    const double at500 = 1.0 / (0.00093135 + 0.000221631 * std::log(500.0) +
                                1.25741e-7 * std::pow(std::log(500.0), 3)) -
                         273.15;
    EXPECT_NEAR(at500, 154.4, 0.1);
    for (int n : {0, 1000, 2818, 59192, 65535})
        EXPECT_DOUBLE_EQ(hyp_reader::internal_temperature(n), at500) << n;
}

TEST_F(HypReaderTest, GarbageAndTimeWrap) {
    std::vector<std::uint8_t> s = {0x12, 0xFF, 0x00, 0x34}; // before the first sync
    auto add = [&s](const HypRecord& r) {
        const auto b = bytes_of(r);
        s.insert(s.end(), b.begin(), b.end());
    };
    add(plain(0xFFFFFF00u));
    s.insert(s.end(), {0x01, 0x02, 0xFF, 0x00, 0xFF}); // garbage between records
    add(plain(0x00000064u));                           // the clock wrapped
    add(plain(0x00000100u));
    feed(s);
    ASSERT_EQ(reader.decoded_records.size(), 2u);
    EXPECT_EQ(reader.decoded_records[1].time, double(0x100 + 0x64));
    EXPECT_EQ(reader.lost_records, 0);
}

TEST_F(HypReaderTest, FailuresAndWhatTheyCount) {
    HypRecord bad_sum = plain(300);
    bad_sum.checksum_delta = 1;
    HypRecord pad = plain(400);
    pad.pad = 1;
    HypRecord wrong_count = plain(500);
    wrong_count.counts.resize(2);
    feed(plain(100));
    feed(plain(200)); // decodes 100
    feed(bad_sum);    // decodes 200
    feed(pad);        // 300 fails its checksum: dropped silently
    ASSERT_EQ(reader.decoded_records.size(), 2u);
    EXPECT_EQ(reader.lost_records, 0);
    EXPECT_EQ(shown.progress.back(), "0 of 2 records lost");
    feed(wrong_count); // 400: pad byte
    EXPECT_EQ(reader.lost_records, 1);
    EXPECT_EQ(shown.progress.back(), "1 of 3 records lost");
    feed(plain(600)); // 500: wavelength count
    EXPECT_EQ(reader.lost_records, 2);
    EXPECT_EQ(reader.wavelength_count, 3); // from the records that passed
    EXPECT_EQ(reader.decoded_records.size(), 2u);
    feed(plain(700)); // 600
    ASSERT_EQ(reader.decoded_records.size(), 3u);
    EXPECT_EQ(reader.decoded_records.back().time, 500.0);
}

TEST_F(HypReaderTest, WrongWavelengthCountLeavesCountUnset) {
    HypRecord r = plain(100);
    r.counts.resize(5);
    r.counts.assign(5, {1, 1, 1, 1});
    feed(r);
    feed(r);
    EXPECT_EQ(reader.wavelength_count, -1);
    EXPECT_EQ(reader.lost_records, 1);
    EXPECT_EQ(reader.instrument_serial, 7);
}

TEST_F(HypReaderTest, ShortRecordIsLostWithoutReadingPastIt) {
    std::vector<std::uint8_t> s = bytes_of(plain(100));
    s.resize(s.size() - 9); // bytes lost on the line
    const auto next = bytes_of(plain(200));
    s.insert(s.end(), next.begin(), next.end());
    feed(s);
    EXPECT_EQ(reader.lost_records, 1);
    EXPECT_TRUE(reader.decoded_records.empty());
    // A header cut off before the wavelength count, at the very end of the buffer.
    feed(std::vector<std::uint8_t>{0xFF, 0x00, 0xFF, 0x00, 0x01, 0x02, 0xFF, 0x00, 0xFF, 0x00});
    EXPECT_EQ(reader.decoded_records.size(), 1u); // the 200 record
    EXPECT_EQ(reader.lost_records, 2);
}

TEST_F(HypReaderTest, ChecksumEndingInFFIsNotMistakenForSync) {
    // Tune one count until the checksum's low byte is FF: "FF 00" + "FF 00 FF 00" follows.
    HypRecord r = plain(100);
    std::vector<std::uint8_t> b;
    for (std::uint16_t sig = 20000;; ++sig) {
        r.counts[0][2] = sig;
        b = bytes_of(r);
        if (b[b.size() - 2] == 0xFF)
            break;
    }
    feed(b);
    feed(plain(200));
    feed(plain(300));
    ASSERT_EQ(reader.decoded_records.size(), 2u);
    EXPECT_EQ(reader.lost_records, 0);
    EXPECT_EQ(reader.decoded_records[1].time, 100.0);
}

TEST_F(HypReaderTest, SerialMismatchShownAndDecodingGoesOn) {
    HypRecord r = plain(100);
    r.serial = 0x123;
    feed(r);
    feed(plain(200));
    ASSERT_EQ(reader.decoded_records.size(), 1u);
    EXPECT_EQ(reader.instrument_serial, 0x123);
    EXPECT_EQ(shown.serial.back(), "hyp291\tSerial number of devfile: 7");
    EXPECT_EQ(shown.internal.back().rfind("Internal temperature: ", 0), 0u);
}

TEST(HypChunks, EveryChunkSizeGivesTheSameRecords) {
    sim::Options o;
    o.model = sim::Model::HYP;
    o.dev_path = VELMORA_DATA_DIR "/sample_hyp.dev";
    o.faults = sim::parse_faults("garbage,checksum,pad,wlcount,midstart");
    sim::Simulator s(o);
    std::vector<std::uint8_t> bytes;
    s.append_records(bytes, 14);
    hyp_reader whole;
    whole.open_device_file(o.dev_path);
    feed_bytes(whole, bytes.data(), bytes.size(), bytes.size());
    ASSERT_GT(whole.decoded_records.size(), 5u);
    ASSERT_GT(whole.lost_records, 0);
    for (std::size_t chunk = 1; chunk <= 4096; ++chunk) {
        hyp_reader r;
        r.open_device_file(o.dev_path);
        feed_bytes(r, bytes.data(), bytes.size(), chunk);
        ASSERT_EQ(r.decoded_records.size(), whole.decoded_records.size()) << chunk;
        ASSERT_EQ(r.lost_records, whole.lost_records) << chunk;
        if (chunk % 97 == 1) // full comparison on a spread of sizes
            linktest::expect_same_records(r.decoded_records, whole.decoded_records,
                                          "chunk " + std::to_string(chunk));
    }
}

// At the end of the stream a final record is decoded once all its bytes are there, as if the
// next sync had arrived; one that is cut short stays undecoded and is not counted as lost.
TEST_F(HypReaderTest, FinishDecodesACompleteLastRecord) {
    struct Case {
        const char* what;
        std::size_t cut;     // bytes missing at the end of the second record
        int checksum_delta;  // a wrong checksum drops the record silently
        std::uint8_t pad;    // a non-zero pad byte loses it
        std::size_t records; // decoded after finish
        int lost;
    } cases[] = {{"complete", 0, 0, 0, 2, 0},     {"pad byte missing", 1, 0, 0, 1, 0},
                 {"counts cut", 20, 0, 0, 1, 0},  {"header cut", 40, 0, 0, 1, 0},
                 {"bad checksum", 0, 1, 0, 1, 0}, {"bad pad byte", 0, 0, 1, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        hyp_reader r;
        r.open_device_file(dir.file("h.dev"));
        std::vector<std::uint8_t> bytes = bytes_of(plain(5000));
        HypRecord last = plain(5250);
        last.checksum_delta = c.checksum_delta;
        last.pad = c.pad;
        std::vector<std::uint8_t> more = bytes_of(last);
        more.resize(more.size() - c.cut);
        bytes.insert(bytes.end(), more.begin(), more.end());
        r.process_bytes(bytes.data(), bytes.size());
        EXPECT_EQ(r.decoded_records.size(), 1u);
        r.finish();
        r.finish(); // a second call finds nothing more
        ASSERT_EQ(r.decoded_records.size(), c.records);
        EXPECT_EQ(r.lost_records, c.lost);
        if (c.records == 2) {
            EXPECT_EQ(r.decoded_records[1].time, 250.0);
        }
        EXPECT_EQ(r.raw_bytes, bytes);
    }
}

TEST_F(HypReaderTest, CaptureOfOneRecordDecodesToOne) {
    const std::vector<std::uint8_t> one = bytes_of(plain(5000));
    const std::string path = dir.file("one.bin");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(one.data()), std::streamsize(one.size()));
    TakenRecords taken;
    const CaptureFeed feed = feed_capture(reader, path, &taken);
    EXPECT_EQ(feed.bytes, one.size());
    ASSERT_EQ(taken.records.size(), 1u);
    EXPECT_EQ(taken.records[0].time, 0.0);
    ASSERT_EQ(taken.external_temps.size(), 1u);
    EXPECT_EQ(taken.external_temps[0], hyp_reader::external_temperature(30000));
    EXPECT_EQ(shown.progress.back(), "0 of 1 records lost");
}
