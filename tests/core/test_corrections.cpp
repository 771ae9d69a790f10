// The record correction engine: correct_one_line, correct_series and set_scat_ref.
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "hyp_data.h"
#include "test_util.h"

namespace {

using test_util::error_of;

// Six channels around the scattering reference, records with a and c values that vary per record
// and per channel, one CTD and one onboard entry per record, a water calibration.
class Engine : public ::testing::Test {
  protected:
    static constexpr std::size_t kChannels = 6;
    static constexpr std::size_t kRecords = 12;
    HYP_Data d;

    void SetUp() override {
        d.instrument_type = InstrumentType::HYP;
        d.a_wavelengths = {650.1, 676.4, 700.0, 714.9, 730.2, 740.0};
        d.c_wavelengths = {650.3, 676.0, 700.2, 715.6, 730.0, 740.4};
        d.num_wavelengths = kChannels;
        d.fac_cal_temp = 19.5;
        for (std::size_t j = 0; j < kRecords; ++j) {
            hyp_data r;
            r.time = 250.0 * j;
            for (std::size_t i = 0; i < kChannels; ++i) {
                r.a_values.push_back(0.05 + 0.01 * i + 0.003 * std::sin(j + 3.0 * i));
                r.c_values.push_back(0.4 + 0.02 * i + 0.004 * std::cos(2.0 * j + i));
            }
            d.records.push_back(r);
            ctd_struct ctd{r.time, 3.0 + j, 30.0 + 0.2 * j, 12.0 + 0.5 * j};
            d.ctd_list.samples.push_back(ctd);
            d.onboard_list.samples.push_back({0.0, 2.0, 0.0, 14.0 - 0.25 * j});
        }
        d.setup_ts_coefs();
        d.set_scat_ref(715.0);
        d.water_loaded = true;
        d.water_cal_temp = 22.0;
        for (std::size_t i = 0; i < kChannels; ++i) {
            d.water_a.push_back(0.011 * (i + 1));
            d.water_c.push_back(0.017 * (i + 1));
        }
        d.const_temp = 21.0;
        d.const_saln = 17.0;
    }

    void all_on(ScatMethod method) {
        d.do_temp = d.do_saln = d.do_water = d.do_scat = true;
        d.scat_method = method;
        d.temp_source = TempSource::CTD;
        d.saln_source = SalnSource::CTD;
        d.ctd_merged = true;
    }
};

TEST_F(Engine, AllOffGivesTheRawValues) {
    for (std::size_t j = 0; j < kRecords; ++j) {
        const hyp_data r = d.correct_one_line(j);
        EXPECT_EQ(r.time, d.records[j].time);
        EXPECT_EQ(r.a_values, d.records[j].a_values);
        EXPECT_EQ(r.c_values, d.records[j].c_values);
    }
    const std::vector<double> series = d.correct_series(3, false);
    for (std::size_t j = 0; j < kRecords; ++j)
        EXPECT_EQ(series[j], d.records[j].c_values[3]);
}

TEST_F(Engine, ProcessedDataIsReturnedUnchanged) {
    all_on(ScatMethod::Proportional);
    d.is_processed = true;
    d.temp_source = static_cast<TempSource>(7);
    d.saln_source = static_cast<SalnSource>(9);
    d.water_loaded = false;
    const hyp_data r = d.correct_one_line(4);
    EXPECT_EQ(r.a_values, d.records[4].a_values);
    EXPECT_EQ(r.c_values, d.records[4].c_values);
    const std::vector<double> series = d.correct_series(1, true);
    for (std::size_t j = 0; j < kRecords; ++j)
        EXPECT_EQ(series[j], d.records[j].a_values[1]);
}

TEST_F(Engine, TemperatureSalinityAndWaterTerms) {
    const std::size_t j = 5;
    const hyp_data& raw = d.records[j];
    // T = Tf gives the raw values; T = Tf + 1 lowers every value by its temperature coefficient.
    d.do_temp = true;
    d.const_temp = d.fac_cal_temp;
    EXPECT_EQ(d.correct_one_line(j).a_values, raw.a_values);
    d.const_temp = d.fac_cal_temp + 1;
    hyp_data r = d.correct_one_line(j);
    for (std::size_t i = 0; i < kChannels; ++i) {
        EXPECT_NEAR_REL(r.a_values[i], raw.a_values[i] - d.a_coefs[i].psi_t_a);
        EXPECT_NEAR_REL(r.c_values[i], raw.c_values[i] - d.c_coefs[i].psi_t_c);
    }
    // Salinity is referred to zero; water at Tw = Tf is subtracted as it stands.
    d.do_temp = false;
    d.do_saln = true;
    d.do_water = true;
    d.water_cal_temp = d.fac_cal_temp;
    r = d.correct_one_line(j);
    for (std::size_t i = 0; i < kChannels; ++i) {
        EXPECT_NEAR_REL(r.a_values[i],
                        raw.a_values[i] - (17.0 * d.a_coefs[i].psi_s_a + d.water_a[i]));
        EXPECT_NEAR_REL(r.c_values[i],
                        raw.c_values[i] - (17.0 * d.c_coefs[i].psi_s_c + d.water_c[i]));
    }
}

TEST_F(Engine, AllCorrectionsWorkedByHand) {
    all_on(ScatMethod::Proportional);
    const std::size_t j = 7;
    const hyp_data& raw = d.records[j];
    const double t = d.ctd_list.samples[j].temperature;
    const double s = d.ctd_list.samples[j].salinity;
    const double tf = d.fac_cal_temp, tw = d.water_cal_temp;
    std::vector<double> A(kChannels), C(kChannels);
    for (std::size_t i = 0; i < kChannels; ++i) {
        const ts_coef& ca = d.a_coefs[i];
        const ts_coef& cc = d.c_coefs[i];
        A[i] = raw.a_values[i] -
               (ca.psi_t_a * (t - tf) + ca.psi_s_a * s + (d.water_a[i] - ca.psi_t_a * (tw - tf)));
        C[i] = raw.c_values[i] -
               (cc.psi_t_c * (t - tf) + cc.psi_s_c * s + (d.water_c[i] - cc.psi_t_c * (tw - tf)));
    }
    const std::size_t ra = d.scat_ref_a, rc = d.scat_ref_c;
    ASSERT_EQ(ra, 3u);
    ASSERT_EQ(rc, 3u);
    const hyp_data r = d.correct_one_line(j);
    for (std::size_t i = 0; i < kChannels; ++i) {
        const double p = A[ra] * (C[i] - A[i]) / (C[rc] - A[ra]);
        EXPECT_NEAR_REL(r.a_values[i], A[i] - p, 1e-9);
        EXPECT_NEAR_REL(r.c_values[i], C[i], 1e-12);
    }
    // Proportional subtraction zeroes the reference a when RA and RC are the same index.
    EXPECT_NEAR(r.a_values[ra], 0.0, 1e-15);
}

TEST_F(Engine, ScatteringMethods) {
    d.do_scat = true;
    const std::size_t j = 2;
    const hyp_data& raw = d.records[j];
    const std::size_t ra = d.scat_ref_a;

    d.scat_method =
        ScatMethod::Baseline; // baseline: reference a to 0, every a shifted alike, c unchanged
    hyp_data r = d.correct_one_line(j);
    EXPECT_EQ(r.a_values[ra], 0.0);
    for (std::size_t i = 0; i < kChannels; ++i) {
        EXPECT_NEAR_REL(r.a_values[i], raw.a_values[i] - raw.a_values[ra]);
        EXPECT_EQ(r.c_values[i], raw.c_values[i]);
    }

    // Fixed fraction: 14 % of b = c - a is removed from a, in the file and in the plots.
    d.scat_method = ScatMethod::FractionOfB;
    d.records[j].a_values[0] = 0.2;
    d.records[j].c_values[0] = 1.2;
    EXPECT_NEAR_REL(d.correct_one_line(j).a_values[0], 0.2 - 0.14 * (1.2 - 0.2));
    EXPECT_NEAR_REL(d.correct_series(0, true)[j], 0.2 - 0.14 * (1.2 - 0.2));

    // A negative reference a with the no-negative option: no scattering term at all.
    d.scat_method = ScatMethod::Baseline;
    d.scat_no_negative = true;
    d.records[j].a_values[ra] = -0.01;
    r = d.correct_one_line(j);
    EXPECT_EQ(r.a_values, d.records[j].a_values);
}

// The time and depth views must plot exactly what the saved file holds.
TEST_F(Engine, SeriesAgreesWithOneLineForEveryMethod) {
    // Make some records' reference a negative so the no-negative rule is exercised both ways.
    for (std::size_t j = 0; j < kRecords; j += 3)
        d.records[j].a_values[3] = -0.2;
    for (int method : {1, 2, 3, 0}) { // 0: an unknown method adds no term
        for (bool no_negative : {false, true}) {
            all_on(static_cast<ScatMethod>(method));
            d.scat_no_negative = no_negative;
            std::vector<hyp_data> lines;
            for (std::size_t j = 0; j < kRecords; ++j)
                lines.push_back(d.correct_one_line(j));
            for (std::size_t ch = 0; ch < kChannels; ++ch) {
                const std::vector<double> a = d.correct_series(static_cast<int>(ch), true);
                const std::vector<double> c = d.correct_series(static_cast<int>(ch), false);
                ASSERT_EQ(a.size(), kRecords);
                for (std::size_t j = 0; j < kRecords; ++j) {
                    SCOPED_TRACE("method " + std::to_string(method) + " channel " +
                                 std::to_string(ch) + " record " + std::to_string(j));
                    EXPECT_EQ(a[j], lines[j].a_values[ch]);
                    EXPECT_EQ(c[j], lines[j].c_values[ch]);
                }
            }
            EXPECT_TRUE(d.do_scat);
        }
    }
}

TEST_F(Engine, OneLineChecksInOrder) {
    struct Case {
        const char* name;
        std::function<void(HYP_Data&)> set;
        const char* message;
    };
    const Case cases[] = {
        {"no records",
         [](HYP_Data& x) {
             x.records.clear();
             x.temp_source = static_cast<TempSource>(9);
         },
         "Calling correct_one_line before loading data!"},
        {"ctd source unmerged, corrections off",
         [](HYP_Data& x) { x.temp_source = TempSource::CTD; }, "CTD data not merged"},
        {"ctd salinity unmerged", [](HYP_Data& x) { x.saln_source = SalnSource::CTD; },
         "CTD data not merged"},
        {"bad temperature source", [](HYP_Data& x) { x.temp_source = static_cast<TempSource>(5); },
         "Temperature source not recognized"},
        {"bad salinity source", [](HYP_Data& x) { x.saln_source = SalnSource::Onboard; },
         "Salinity source not recognized"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HYP_Data x;
        x.a_wavelengths = d.a_wavelengths;
        x.c_wavelengths = d.c_wavelengths;
        x.records = d.records;
        c.set(x);
        EXPECT_EQ(error_of([&] { x.correct_one_line(0); }), c.message);
    }
    // Before any table is filled the engine refuses first of all.
    ts_table_loaded = false;
    const std::string unloaded = error_of([&] { d.correct_one_line(0); });
    ts_table_loaded = true;
    EXPECT_EQ(unloaded, "No TS.cor file loaded");

    // correct_series does not look at ctd_merged: it uses ctd_list as it stands.
    d.temp_source = TempSource::CTD;
    d.do_temp = true;
    EXPECT_EQ(d.correct_series(0, true).size(), kRecords);
    d.temp_source = static_cast<TempSource>(0);
    EXPECT_EQ(error_of([&] { d.correct_series(0, true); }), "Temperature source unrecognized.");
    d.temp_source = TempSource::Constant;
    d.saln_source = SalnSource::Fitted;
    EXPECT_EQ(error_of([&] { d.correct_series(0, true); }), "Salinity source unrecognized.");
}

// Inputs the engine cannot use are refused by both operations, never read past a list's end.
TEST_F(Engine, RefusesInputsItCannotUse) {
    struct Case {
        const char* name;
        std::function<void(HYP_Data&)> set;
        const char* message;
    };
    const Case cases[] = {
        {"water on, none loaded",
         [](HYP_Data& x) {
             x.do_water = true;
             x.water_loaded = false;
             x.water_a.clear();
             x.water_c.clear();
         },
         "Water calibration not loaded."},
        {"water of another channel count",
         [](HYP_Data& x) {
             x.do_water = true;
             x.water_c.pop_back();
         },
         "Water calibration not loaded."},
        {"short ctd list",
         [](HYP_Data& x) {
             x.temp_source = TempSource::CTD;
             x.ctd_merged = true;
             x.ctd_list.samples.pop_back();
         },
         "CTD data do not match the records."},
        {"short ctd list for salinity, corrections off",
         [](HYP_Data& x) {
             x.saln_source = SalnSource::CTD;
             x.ctd_merged = true;
             x.ctd_list.samples.resize(3);
         },
         "CTD data do not match the records."},
        {"short onboard list",
         [](HYP_Data& x) {
             x.temp_source = TempSource::Onboard;
             x.onboard_list.samples.resize(3);
         },
         "Onboard sensor data do not match the records."},
        // A file without the column reads 0 everywhere; acquired records have no list.
        {"onboard temperature 0 in every record",
         [](HYP_Data& x) {
             x.temp_source = TempSource::Onboard;
             for (ctd_struct& e : x.onboard_list.samples)
                 e.temperature = 0.0;
         },
         "This data file holds no onboard temperature."},
        {"no onboard list",
         [](HYP_Data& x) {
             x.temp_source = TempSource::Onboard;
             x.onboard_list.samples.clear();
         },
         "This data file holds no onboard temperature."},
        {"fitted list never filled", [](HYP_Data& x) { x.temp_source = TempSource::Fitted; },
         "Fitted data do not match the records."},
        {"a and c lists differ", [](HYP_Data& x) { x.c_wavelengths.pop_back(); },
         "a and c wavelength lists differ in length."},
        {"coefficients not set up",
         [](HYP_Data& x) {
             x.do_temp = true;
             x.a_coefs.clear();
         },
         "Correction coefficients are not set up for these channels."},
        {"scattering reference left unset by a failed choice",
         [](HYP_Data& x) {
             x.do_scat = true;
             x.scat_method = ScatMethod::Baseline;
             EXPECT_THROW(x.set_scat_ref(std::nan("")), VelmoraError);
         },
         "Scattering reference wavelength not set."},
        {"short record",
         [](HYP_Data& x) {
             x.records[0].a_values.pop_back();
             x.records[0].c_values.pop_back();
         },
         "Record 0 has fewer values than channels."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HYP_Data x;
        x.instrument_type = InstrumentType::HYP;
        x.a_wavelengths = d.a_wavelengths;
        x.c_wavelengths = d.c_wavelengths;
        x.records = d.records;
        x.ctd_list = d.ctd_list;
        x.onboard_list = d.onboard_list;
        x.water_loaded = true;
        x.water_a = d.water_a;
        x.water_c = d.water_c;
        x.setup_ts_coefs();
        x.set_scat_ref(715);
        c.set(x);
        EXPECT_EQ(error_of([&] { x.correct_one_line(0); }), c.message);
        EXPECT_EQ(error_of([&] { x.correct_series(0, true); }), c.message);
    }
    EXPECT_EQ(error_of([&] { d.correct_one_line(kRecords); }),
              "Record " + std::to_string(kRecords) + " does not exist.");
    EXPECT_EQ(error_of([&] { d.correct_series(static_cast<int>(kChannels), true); }),
              "Channel " + std::to_string(kChannels) + " does not exist.");
}

// A record the CTD log had no sample near gets NaN temperature and salinity: every corrected
// value that uses one is NaN, never a value corrected with 0.
TEST_F(Engine, NaNFromTheCtdMakesTheValuesThatUseItNaN) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    const std::size_t j = 7;
    struct Case {
        const char* name;
        bool nan_temp, nan_saln, temp, saln, no_negative;
        bool nan_out;
    };
    const Case cases[] = {
        {"temperature", true, false, true, false, false, true},
        {"salinity", false, true, false, true, false, true},
        {"no negative scattering", true, true, true, true, true, true},
        {"salinity not applied", false, true, true, false, false, false},
    };
    for (const ScatMethod method :
         {ScatMethod::Baseline, ScatMethod::Proportional, ScatMethod::FractionOfB}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(static_cast<int>(method)));
            all_on(method);
            d.do_temp = c.temp;
            d.do_saln = c.saln;
            d.scat_no_negative = c.no_negative;
            ctd_struct& s = d.ctd_list.samples[j];
            s.temperature = c.nan_temp ? kNaN : 12.0;
            s.salinity = c.nan_saln ? kNaN : 30.0;
            const hyp_data r = d.correct_one_line(j);
            for (std::size_t i = 0; i < kChannels; ++i) {
                EXPECT_EQ(std::isnan(r.a_values[i]), c.nan_out) << "a" << i;
                EXPECT_EQ(std::isnan(r.c_values[i]), c.nan_out) << "c" << i;
                EXPECT_EQ(std::isnan(d.correct_series(static_cast<int>(i), true)[j]), c.nan_out)
                    << "series a" << i;
            }
            // The records around it are corrected as usual.
            EXPECT_FALSE(std::isnan(d.correct_one_line(j - 1).a_values[0]));
        }
    }
}

TEST(SetScatRef, NearestChannelLowerIndexOnTies) {
    struct Case {
        std::vector<double> a, c;
        double request;
        std::uint32_t ra, rc;
    };
    const Case cases[] = {
        {{712.1, 715.5, 719.0}, {712.1, 715.5, 719.0}, 715, 1, 1},
        {{714.0, 716.0}, {714.0, 716.0}, 715, 0, 0},
        {{700.0, 714.0, 730.0}, {700.0, 716.5, 715.8}, 715, 1, 2}, // a and c chosen apart
        {{400.0, 500.0}, {400.0, 500.0}, 1e7, 1, 1},               // far off: still the nearest
    };
    for (const Case& c : cases) {
        HYP_Data d;
        d.a_wavelengths = c.a;
        d.c_wavelengths = c.c;
        EXPECT_EQ(d.set_scat_ref(c.request), c.a[c.ra]);
        EXPECT_EQ(d.scat_ref_a, c.ra);
        EXPECT_EQ(d.scat_ref_c, c.rc);
        EXPECT_EQ(d.scat_ref_a_wl, c.a[c.ra]);
        EXPECT_EQ(d.scat_ref_c_wl, c.c[c.rc]);
    }
}

TEST(SetScatRef, Failures) {
    HYP_Data d;
    d.scat_ref_a_wl = 715.5;
    EXPECT_EQ(error_of([&] { d.set_scat_ref(715); }),
              "set_scat_ref called before wavelengths are defined.");
    EXPECT_EQ(d.scat_ref_a, 999999u);
    EXPECT_EQ(d.scat_ref_c, 999999u);
    EXPECT_EQ(d.scat_ref_a_wl, 715.5);
    d.a_wavelengths = {700, 715};
    d.c_wavelengths = {700, 715};
    EXPECT_EQ(error_of([&] { d.set_scat_ref(std::nan("")); }),
              "Scattering reference wavelength is not a number.");
    EXPECT_EQ(d.scat_ref_a, 999999u);
}

} // namespace
