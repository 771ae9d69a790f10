#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "hyp_data.h"
#include "simulator.h"

namespace {

struct Model {
    sim::Model model;
    const char* dev;
};
const Model models[] = {{sim::Model::HYP, VELMORA_DATA_DIR "/sample_hyp.dev"},
                        {sim::Model::FLW, VELMORA_DATA_DIR "/sample_flw.dev"}};

std::vector<hyp_data> intended(const Model& m, const sim::WaterProfile& water) {
    sim::Options o;
    o.model = m.model;
    o.dev_path = m.dev;
    o.seed = 5;
    o.water = water;
    sim::Simulator s(o);
    std::vector<std::uint8_t> bytes;
    s.append_records(bytes, 6);
    return s.intended();
}

} // namespace

// Water away from the factory temperature, or with salt, changes every channel by exactly what
// the temperature and salinity corrections take off again; so a corrected record is the water's
// own spectrum.
TEST(SimulatorWater, AddsWhatTheCorrectionsRemove) {
    for (const Model& m : models) {
        SCOPED_TRACE(m.dev);
        const std::vector<hyp_data> plain = intended(m, {});
        sim::WaterProfile water;
        water.samples = {{0.0, 0.0, 34.5, 8.0}};
        const std::vector<hyp_data> salty = intended(m, water);
        ASSERT_EQ(plain.size(), salty.size());

        // The rows the corrections choose for these channels (the data file keeps the factory
        // temperature to fewer digits than the device file: 1e-7 allows for it).
        HYP_Data d;
        d.load_file(m.model == sim::Model::HYP ? VELMORA_DATA_DIR "/sample_hyp.dat"
                                               : VELMORA_DATA_DIR "/sample_flw.dat",
                    false);
        d.setup_ts_coefs();
        const double dt = 8.0 - d.fac_cal_temp;
        ASSERT_NE(dt, 0.0);
        double largest = 0.0;
        for (std::size_t r = 0; r < plain.size(); ++r) {
            for (std::size_t i = 0; i < plain[r].a_values.size(); ++i) {
                const double want_a = d.a_coefs[i].psi_t_a * dt + d.a_coefs[i].psi_s_a * 34.5;
                const double want_c = d.c_coefs[i].psi_t_c * dt + d.c_coefs[i].psi_s_c * 34.5;
                EXPECT_NEAR(salty[r].a_values[i] - plain[r].a_values[i], want_a, 1e-7) << i;
                EXPECT_NEAR(salty[r].c_values[i] - plain[r].c_values[i], want_c, 1e-7) << i;
                largest = std::max(largest, std::fabs(want_a));
            }
        }
        // The near infrared of water is strongly temperature-dependent.
        EXPECT_GT(largest, m.model == sim::Model::HYP ? 0.01 : 0.001);
    }
}

TEST(SimulatorWater, ProfileInterpolatesInTimeAndHoldsItsEnds) {
    sim::WaterProfile p;
    p.samples = {{0.0, 1.0, 30.0, 10.0}, {1000.0, 3.0, 32.0, 20.0}};
    EXPECT_DOUBLE_EQ(p.at(-500).temperature, 10.0);
    EXPECT_DOUBLE_EQ(p.at(250).temperature, 12.5);
    EXPECT_DOUBLE_EQ(p.at(250).salinity, 30.5);
    EXPECT_DOUBLE_EQ(p.at(5000).salinity, 32.0);
}

TEST(SimulatorWater, ReadsAProfileFromACtdLog) {
    const sim::WaterProfile p = sim::read_water_profile(VELMORA_DATA_DIR "/sample_ctd.txt");
    ASSERT_GT(p.samples.size(), 100u);
    EXPECT_EQ(p.samples.front().time, -2000.0);
    EXPECT_NEAR(p.samples.front().temperature, 16.4474, 1e-9);
    EXPECT_NEAR(p.samples.front().salinity, 33.2081, 1e-9);
}
