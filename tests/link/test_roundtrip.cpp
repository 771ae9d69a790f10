#include <gtest/gtest.h>

#include <cmath>

#include "acquisition_setup.h"
#include "flw_reader.h"
#include "hyp_data.h"
#include "hyp_reader.h"
#include "link_test_util.h"
#include "simulator.h"

using linktest::TempDir;

namespace {

struct Model {
    sim::Model model;
    const char* dev;
    std::size_t spectra_per_record;
};
const Model models[] = {{sim::Model::HYP, VELMORA_DATA_DIR "/sample_hyp.dev", 1},
                        {sim::Model::FLW, VELMORA_DATA_DIR "/sample_flw.dev", 10}};

std::unique_ptr<parent_reader> reader_of(sim::Model m) {
    if (m == sim::Model::HYP)
        return std::make_unique<hyp_reader>();
    return std::make_unique<flw_reader>();
}

} // namespace

// The reader gives back the spectra the simulator meant, within the counts' resolution, with
// and without faults; the newest instrument record stays undecoded.
TEST(SimulateReplay, DecodedSpectraAreTheIntendedOnes) {
    for (const Model& m : models) {
        for (const char* faults : {"", "garbage,checksum,pad,wlcount,serial,midstart"}) {
            SCOPED_TRACE(std::string(m.dev) + " faults: " + faults);
            sim::Options o;
            o.model = m.model;
            o.dev_path = m.dev;
            o.seed = 11;
            o.faults = sim::parse_faults(faults);
            sim::Simulator s(o);
            std::vector<std::uint8_t> bytes;
            s.append_records(bytes, 40);
            auto r = reader_of(m.model);
            r->open_device_file(m.dev);
            feed_bytes(*r, bytes.data(), bytes.size());

            const auto& want = s.intended();
            ASSERT_EQ(r->decoded_records.size() + m.spectra_per_record, want.size());
            EXPECT_GT(s.resolution(), 0.0);
            EXPECT_LT(s.resolution(), 0.01);
            double worst = 0.0;
            for (std::size_t i = 0; i < r->decoded_records.size(); ++i) {
                const hyp_data& got = r->decoded_records[i];
                ASSERT_EQ(got.time, want[i].time) << i;
                ASSERT_EQ(got.a_values.size(), want[i].a_values.size());
                for (std::size_t k = 0; k < got.a_values.size(); ++k) {
                    worst = std::max(worst, std::fabs(got.a_values[k] - want[i].a_values[k]));
                    worst = std::max(worst, std::fabs(got.c_values[k] - want[i].c_values[k]));
                }
            }
            EXPECT_LE(worst, s.resolution());
            if (std::string(faults).empty()) {
                EXPECT_EQ(r->instrument_serial, static_cast<std::int32_t>(r->dev.serial_number));
            }
        }
    }
}

// Replay's data set, written and read back, holds the decoded records in the device file's
// channel pairing.
TEST(SimulateReplay, DataFileOfTheReplayLoadsBack) {
    TempDir dir;
    for (const Model& m : models) {
        SCOPED_TRACE(m.dev);
        sim::Options o;
        o.model = m.model;
        o.dev_path = m.dev;
        const std::string capture = dir.file("c.bin");
        sim::write_capture(o, 12, capture);
        auto r = reader_of(m.model);
        r->open_device_file(m.dev);
        feed_capture(*r, capture);
        ASSERT_FALSE(r->decoded_records.empty());

        HYP_Data data;
        setup_data_from_devfile(data, r->dev);
        copy_decoded_records(data, *r);
        EXPECT_EQ(append_new_records(data, *r), 0u);
        const std::string out = dir.file("out.dat");
        data.save_records(out);

        HYP_Data back;
        back.load_file(out, false);
        EXPECT_EQ(back.instrument_type, m.model == sim::Model::HYP ? 1 : 2);
        ASSERT_EQ(back.records.size(), r->decoded_records.size());
        ASSERT_EQ(back.a_wavelengths.size(), r->dev.a_wl.size());
        for (std::size_t k = 0; k < back.a_wavelengths.size(); ++k) {
            linktest::expect_near_rel(r->dev.a_wl[k], back.a_wavelengths[k], 1e-5, "a wl");
            linktest::expect_near_rel(r->dev.c_wl[k], back.c_wavelengths[k], 1e-5, "c wl");
        }
        for (std::size_t i = 0; i < back.records.size(); ++i) {
            EXPECT_EQ(back.records[i].time, r->decoded_records[i].time);
            for (std::size_t k = 0; k < back.a_wavelengths.size(); ++k) {
                EXPECT_NEAR(back.records[i].a_values[k], r->decoded_records[i].a_values[k], 1e-8);
                EXPECT_NEAR(back.records[i].c_values[k], r->decoded_records[i].c_values[k], 1e-8);
            }
        }
    }
}

TEST(SimulateReplay, AppendNewRecordsCopiesOnlyTheNewOnes) {
    sim::Options o;
    o.dev_path = VELMORA_DATA_DIR "/sample_hyp.dev";
    sim::Simulator s(o);
    std::vector<std::uint8_t> bytes;
    s.append_records(bytes, 6);
    hyp_reader r;
    r.open_device_file(o.dev_path);
    HYP_Data data;
    const std::size_t half = bytes.size() / 2;
    r.process_bytes(bytes.data(), half);
    const std::size_t first = append_new_records(data, r);
    r.process_bytes(bytes.data() + half, bytes.size() - half);
    const std::size_t second = append_new_records(data, r);
    EXPECT_EQ(first + second, 5u);
    EXPECT_GT(second, 0u);
    ASSERT_EQ(data.records.size(), r.decoded_records.size());
    EXPECT_EQ(data.records.back().time, r.decoded_records.back().time);
}

TEST(Simulator, RejectsUnknownFaultAndWrongModel) {
    EXPECT_THROW(sim::parse_faults("garbage,bogus"), VelmoraError);
    sim::Options o;
    o.model = sim::Model::FLW;
    o.dev_path = VELMORA_DATA_DIR "/sample_hyp.dev";
    EXPECT_THROW(sim::Simulator{o}, VelmoraError);
}

TEST(Simulator, PseudoTerminalStreamDeliversRecordsAndRemovesItsLink) {
    TempDir dir;
    sim::Options o;
    o.dev_path = VELMORA_DATA_DIR "/sample_hyp.dev";
    o.rate_hz = 50;
    const std::string link = dir.file("tty");
    auto stream = sim::PtyStream::start(o, link);
    ::setenv("VELMORA_COM45", link.c_str(), 1);
    hyp_reader r;
    r.open_device_file(o.dev_path);
    r.set_port(45);
    r.start();
    // Real time: at 50 spectra per second three records take well under a second.
    for (int i = 0; i < 400 && r.decoded_records.size() < 3; ++i) {
        r.poll();
        ::usleep(5000);
    }
    r.stop();
    ::unsetenv("VELMORA_COM45");
    EXPECT_GE(r.decoded_records.size(), 3u);
    EXPECT_EQ(r.lost_records, 0);
    stream->stop();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}
