#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "acquisition_setup.h"
#include "byte_view.h"
#include "flw_reader.h"
#include "hyp_reader.h"
#include "link_test_util.h"
#include "simulator.h"

using linktest::TempDir;

// Damaged streams (flipped, dropped and inserted bytes in real captures, and plain noise) never
// crash a reader or make it read outside its buffer, whatever the chunk sizes.
TEST(Robustness, DamagedStreamsNeverCrashTheReaders) {
    std::mt19937 rng(5);
    for (sim::Model model : {sim::Model::HYP, sim::Model::FLW}) {
        sim::Options o;
        o.model = model;
        o.dev_path = model == sim::Model::HYP ? VELMORA_DATA_DIR "/sample_hyp.dev"
                                              : VELMORA_DATA_DIR "/sample_flw.dev";
        sim::Simulator s(o);
        std::vector<std::uint8_t> clean;
        s.append_records(clean, 30);
        for (int round = 0; round < 40; ++round) {
            std::vector<std::uint8_t> bytes = clean;
            std::uniform_int_distribution<std::size_t> at(0, bytes.size() - 1);
            for (int k = 0; k < 20; ++k) {
                const std::size_t i = at(rng) % bytes.size();
                switch (rng() % 3) {
                case 0:
                    bytes[i] = static_cast<std::uint8_t>(rng());
                    break;
                case 1:
                    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(i));
                    break;
                default:
                    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(i),
                                 static_cast<std::uint8_t>(rng() % 2 ? 0xFF : 0x00));
                }
            }
            if (round % 10 == 9)
                for (auto& b : bytes)
                    b = static_cast<std::uint8_t>(rng() % 4 == 0   ? 0xFF
                                                  : rng() % 3 == 0 ? 0
                                                                   : rng());
            std::unique_ptr<parent_reader> r;
            if (model == sim::Model::HYP)
                r = std::make_unique<hyp_reader>();
            else
                r = std::make_unique<flw_reader>();
            r->open_device_file(o.dev_path);
            feed_bytes(*r, bytes.data(), bytes.size(), 1 + rng() % 3000);
            EXPECT_EQ(r->raw_bytes, bytes);
            for (const hyp_data& d : r->decoded_records)
                ASSERT_EQ(d.a_values.size(), r->dev.a_wl.size());
        }
    }
}

TEST(Robustness, FlwTraceOnlyWhenAsked) {
    TempDir dir;
    sim::Options o;
    o.model = sim::Model::FLW;
    o.dev_path = VELMORA_DATA_DIR "/sample_flw.dev";
    sim::Simulator s(o);
    std::vector<std::uint8_t> bytes;
    s.append_records(bytes, 3);
    const std::string trace = dir.file("trace.txt");
    {
        flw_reader quiet;
        quiet.open_device_file(o.dev_path);
        quiet.process_bytes(bytes.data(), bytes.size());
    }
    EXPECT_FALSE(std::filesystem::exists(trace));
    ::setenv("VELMORA_FLW_TRACE", trace.c_str(), 1);
    {
        flw_reader traced;
        ::unsetenv("VELMORA_FLW_TRACE");
        traced.open_device_file(o.dev_path);
        traced.process_bytes(bytes.data(), bytes.size());
        EXPECT_EQ(traced.decoded_records.size(), 20u);
    }
    std::ifstream in(trace);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(";record length:         634"), std::string::npos);
    EXPECT_NE(text.find(" ;Time and signal data\n"), std::string::npos);
}

// However the checksum loop is made faster, bytes of FF (the largest sums) and random bytes, at
// every start and at lengths about word, vector and 16-bit lane limits, give the plain sum.
TEST(ByteView, ChecksumIsThePlainSumModulo65536) {
    std::mt19937 rng(11);
    std::vector<std::uint8_t> random(3000), ff(3000, 0xFF);
    for (std::uint8_t& b : random)
        b = static_cast<std::uint8_t>(rng());
    for (const std::vector<std::uint8_t>* bytes : {&random, &ff}) {
        for (std::size_t start = 0; start < 8; ++start) {
            for (std::size_t n : {0, 1, 7, 8, 9, 634, 1023, 1024, 1025, 2048, 2900}) {
                const ByteView v(bytes->data() + start, bytes->size() - start);
                std::uint32_t plain = 0;
                for (std::size_t i = 0; i < n; ++i)
                    plain += (*bytes)[start + i];
                EXPECT_EQ(v.sum16(0, n), plain & 0xFFFFu) << start << " " << n;
            }
        }
    }
}
