#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "acquisition_setup.h"
#include "flw_reader.h"
#include "hyp_reader.h"
#include "link_test_util.h"
#include "simulator.h"

using linktest::TempDir;

namespace {

std::vector<std::uint8_t> read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Counts the blocks it is handed.
class BlockCounter : public parent_reader {
  public:
    std::vector<std::size_t> blocks;
    void process_bytes(const std::uint8_t*, std::size_t count) override { blocks.push_back(count); }
};

} // namespace

TEST(RawCapture, SaveThenReplayGivesTheSameRecords) {
    TempDir dir;
    struct Case {
        sim::Model model;
        const char* dev;
    } cases[] = {{sim::Model::HYP, VELMORA_DATA_DIR "/sample_hyp.dev"},
                 {sim::Model::FLW, VELMORA_DATA_DIR "/sample_flw.dev"}};
    for (const Case& c : cases) {
        sim::Options o;
        o.model = c.model;
        o.dev_path = c.dev;
        o.faults = sim::parse_faults("garbage,checksum,midstart");
        sim::Simulator s(o);
        std::vector<std::uint8_t> bytes;
        s.append_records(bytes, 20);

        std::unique_ptr<parent_reader> live, replayed;
        if (c.model == sim::Model::HYP) {
            live = std::make_unique<hyp_reader>();
            replayed = std::make_unique<hyp_reader>();
        } else {
            live = std::make_unique<flw_reader>();
            replayed = std::make_unique<flw_reader>();
        }
        live->open_device_file(c.dev);
        feed_bytes(*live, bytes.data(), bytes.size(), 2048); // as the port delivers them
        const std::string path = dir.file("capture.bin");
        live->save_raw(path);
        EXPECT_EQ(read_all(path), bytes);
        replayed->open_device_file(c.dev);
        const CaptureFeed feed = feed_capture(*replayed, path);
        EXPECT_EQ(feed.bytes, bytes.size());
        linktest::expect_same_records(replayed->decoded_records, live->decoded_records, c.dev);
        EXPECT_FALSE(replayed->decoded_records.empty());
    }
}

TEST(RawCapture, EmptyReaderSavesEmptyFileAndBadPathRaises) {
    TempDir dir;
    hyp_reader r;
    r.save_raw(dir.file("empty.bin"));
    EXPECT_TRUE(read_all(dir.file("empty.bin")).empty());
    try {
        r.save_raw(dir.file("no/such/dir/x.bin"));
        FAIL() << "no error";
    } catch (const VelmoraError& e) {
        EXPECT_STREQ(e.what(), "Unable to open file for saving.");
    }
}

TEST(RawCapture, FedInBlocksOf4096) {
    TempDir dir;
    struct Case {
        std::size_t size;
        std::vector<std::size_t> blocks;
    } cases[] = {{0, {0}}, {8192, {4096, 4096, 0}}, {5000, {4096, 904}}};
    for (const Case& c : cases) {
        const std::string path = dir.write("c.bin", std::string(c.size, 'x'));
        BlockCounter r;
        feed_capture(r, path);
        EXPECT_EQ(r.blocks, c.blocks) << c.size;
    }
    BlockCounter r;
    EXPECT_THROW(feed_capture(r, dir.file("missing.bin")), VelmoraError);
    // A folder is refused by name instead of being read as a capture of its own "size".
    std::filesystem::create_directory(dir.file("cast.bin"));
    try {
        feed_capture(r, dir.file("cast.bin"));
        FAIL() << "no error";
    } catch (const VelmoraError& e) {
        EXPECT_EQ(e.what(), dir.file("cast.bin") + ": is a folder, not a file.");
    }
    EXPECT_TRUE(r.blocks.empty());
}

TEST(PlaceholderReader, OperationsDoNothing) {
    parent_reader r;
    const std::uint8_t b[3] = {1, 2, 3};
    r.open_device_file("/nonexistent");
    r.set_port(3);
    r.start();
    r.poll();
    r.process_bytes(b, 3);
    r.stop();
    r.save_raw("/nonexistent/dir/x.bin");
    EXPECT_TRUE(r.raw_bytes.empty());
    EXPECT_EQ(r.instrument_serial, -1);
}

// The reference view asks for the packet of any record: a packet kept once for the ten records
// of an FLW instrument record answers for each of them.
TEST(PacketLog, EachRecordFindsThePacketThatStandsForIt) {
    PacketLog log;
    const std::pair<std::uint32_t, std::size_t> kept[] = {{1, 10}, {2, 1}, {3, 10}};
    for (const auto& [serial, records] : kept) {
        packet p;
        p.serial_number = serial;
        log.push_back(p, records);
    }
    ASSERT_EQ(log.size(), 21u);
    for (std::size_t i = 0; i < log.size(); ++i)
        EXPECT_EQ(log[i].serial_number, i < 10 ? 1u : i == 10 ? 2u : 3u) << i;
    EXPECT_EQ(log.back().serial_number, 3u);
    log.keep_newest_only();
    ASSERT_EQ(log.size(), 10u);
    EXPECT_EQ(log[0].serial_number, 3u);
    EXPECT_EQ(log[9].serial_number, 3u);
    log.clear();
    EXPECT_TRUE(log.empty());
}
