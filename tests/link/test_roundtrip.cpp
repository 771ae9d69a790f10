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
// and without faults; the stream's end decodes the last instrument record too.
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
            ASSERT_EQ(r->decoded_records.size(), want.size());
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

// Replay's data set, written and read back, holds every decoded record (the last one of the
// capture too) in the device file's channel pairing, and for HYP the external temperature of
// each record as its onboard temperature.
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
        TakenRecords taken;
        feed_capture(*r, capture, &taken);
        EXPECT_TRUE(r->decoded_records.empty());
        ASSERT_EQ(taken.records.size(), 12 * m.spectra_per_record);
        EXPECT_EQ(r->decoded_count, taken.records.size());
        const std::vector<hyp_data> want = taken.records;
        const std::vector<double> temps = taken.external_temps;
        EXPECT_EQ(temps.size(), m.model == sim::Model::HYP ? want.size() : 0u);

        HYP_Data data;
        setup_data_from_devfile(data, r->dev);
        replace_records(data, std::move(taken));
        const std::string out = dir.file("out.dat");
        data.save_records(out);

        HYP_Data back;
        back.load_file(out, false);
        EXPECT_EQ(back.instrument_type,
                  m.model == sim::Model::HYP ? InstrumentType::HYP : InstrumentType::FLW);
        ASSERT_EQ(back.records.size(), want.size());
        ASSERT_EQ(back.a_wavelengths.size(), r->dev.a_wl.size());
        for (std::size_t k = 0; k < back.a_wavelengths.size(); ++k) {
            linktest::expect_near_rel(r->dev.a_wl[k], back.a_wavelengths[k], 1e-5, "a wl");
            linktest::expect_near_rel(r->dev.c_wl[k], back.c_wavelengths[k], 1e-5, "c wl");
        }
        for (std::size_t i = 0; i < back.records.size(); ++i) {
            EXPECT_EQ(back.records[i].time, want[i].time);
            for (std::size_t k = 0; k < back.a_wavelengths.size(); ++k) {
                EXPECT_NEAR(back.records[i].a_values[k], want[i].a_values[k], 1e-8);
                EXPECT_NEAR(back.records[i].c_values[k], want[i].c_values[k], 1e-8);
            }
        }
        if (m.model == sim::Model::HYP) {
            ASSERT_EQ(back.onboard_list.samples.size(), want.size());
            for (std::size_t i = 0; i < want.size(); ++i)
                linktest::expect_near_rel(temps[i], back.onboard_list.samples[i].temperature, 1e-9,
                                          "onboard temperature");
            EXPECT_GT(temps.front(), -5.0);
            EXPECT_LT(temps.front(), 45.0);
        }
    }
}

// The acquisition tick takes what the reader decoded since the last tick; the reader keeps none
// of it, and Stop's finish adds the last record.
TEST(SimulateReplay, TakeMovesTheNewRecordsOutOfTheReader) {
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
    const std::size_t first = take_decoded_records(data, r);
    EXPECT_TRUE(r.decoded_records.empty());
    r.process_bytes(bytes.data() + half, bytes.size() - half);
    const std::size_t second = take_decoded_records(data, r);
    EXPECT_EQ(first + second, 5u);
    EXPECT_GT(second, 0u);
    EXPECT_EQ(take_decoded_records(data, r), 0u);
    finish_stream(r);
    EXPECT_EQ(take_decoded_records(data, r), 1u);
    ASSERT_EQ(data.records.size(), 6u);
    EXPECT_EQ(r.decoded_count, 6u);
    EXPECT_TRUE(r.decoded_records.empty());
    ASSERT_EQ(data.onboard_list.samples.size(), 6u);
    EXPECT_EQ(data.onboard_list.samples.back().temperature, r.packets.back().external_temperature);
    EXPECT_EQ(data.onboard_list.samples.back().time, data.records.back().time);
    // The time base stays that of the first record, taken long ago.
    EXPECT_EQ(data.records.front().time, 0.0);
    EXPECT_GT(data.records.back().time, data.records[4].time);
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
