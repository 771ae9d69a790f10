// The processed products: the wavelength grid, the residual temperature correction and the
// table's agreement with the corrected file when no product step is asked for.
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "hyp_data.h"
#include "products.h"
#include "products_detail.h"
#include "test_util.h"

namespace {

using namespace products_detail;
using test_util::error_of;

TEST(ProductGrid, InterpolatesLinearlyAndNeverExtrapolates) {
    const std::vector<double> from = {400.0, 410.0, 420.0};
    const double values[] = {1.0, 2.0, 4.0};
    struct Case {
        double x;
        bool inside;
        double value;
    };
    const Case cases[] = {
        {400.0, true, 1.0}, // first channel exactly
        {420.0, true, 4.0}, // last channel exactly
        {405.0, true, 1.5}, // between the first two
        {417.5, true, 3.5}, // between the last two
        {410.0, true, 2.0}, // on an inner channel
        {399.99, false, 0}, // just below the range
        {420.01, false, 0}, // just above it
    };
    std::vector<double> to;
    for (const Case& c : cases)
        to.push_back(c.x);
    const GridMap m = map_onto(from, to);
    for (std::size_t p = 0; p < to.size(); ++p) {
        EXPECT_EQ(m.inside[p], cases[p].inside) << cases[p].x;
        if (cases[p].inside) {
            EXPECT_NEAR_REL(interpolate(values, m.points[p]), cases[p].value) << cases[p].x;
        }
    }
}

TEST(ResidualTemperature, WeightedMedianTakesTheMeanOnAnExactHalf) {
    struct Case {
        std::vector<std::pair<double, double>> ratios;
        double expected;
    };
    const Case cases[] = {
        {{}, 0.0},
        {{{3.0, 1.0}, {1.0, 1.0}, {2.0, 1.0}}, 2.0},             // odd count: the middle
        {{{4.0, 1.0}, {1.0, 1.0}, {3.0, 1.0}, {2.0, 1.0}}, 2.5}, // half reached exactly at 2
        {{{1.0, 1.0}, {2.0, 3.0}, {5.0, 1.0}}, 2.0},             // a heavy ratio wins
        {{{1.0, 2.0}, {7.0, 1.0}, {9.0, 1.0}}, 4.0},             // half at the first: mean
    };
    for (const Case& c : cases) {
        std::vector<std::pair<double, double>> r = c.ratios;
        EXPECT_EQ(weighted_median_dt(r), c.expected) << c.ratios.size();
    }
}

// 700-750 nm every 5 nm with ψ from the coefficient table.
class Residual : public ::testing::Test {
  protected:
    HYP_Data d; // fills the coefficient table
    std::vector<double> grid, psi;
    ProcessingOptions::Scattering::Residual opts;

    void SetUp() override {
        for (double wl = 700.0; wl <= 750.0; wl += 5.0) {
            grid.push_back(wl);
            psi.push_back(psi_t_at(d.ts_table, wl));
        }
    }
    // a = dt ψ + 0.05 · 730/λ (+ noise), b = 0.45 · 730/λ.
    void spectrum(double dt, std::vector<double>& a, std::vector<double>& c,
                  double noise = 0.0) const {
        a.clear();
        c.clear();
        for (std::size_t i = 0; i < grid.size(); ++i) {
            const double wiggle = noise * std::sin(3.7 * static_cast<double>(i) + 0.3);
            a.push_back(dt * psi[i] + 0.05 * 730.0 / grid[i] + wiggle);
            c.push_back(a.back() + 0.45 * 730.0 / grid[i]);
        }
    }
    // Σ |r_i − s_i ΔT| over the window, as the correction defines it.
    double misfit(const std::vector<double>& a, const std::vector<double>& c, double dt) const {
        const std::size_t ref = 6; // 730 nm
        const double b_ref = c[ref] - a[ref];
        double sum = 0.0;
        for (std::size_t i = 0; i < grid.size(); ++i) {
            const double ratio = (c[i] - a[i]) / b_ref;
            sum += std::fabs(a[i] - a[ref] * ratio - (psi[i] - psi[ref] * ratio) * dt);
        }
        return sum;
    }
};

TEST_F(Residual, ConstructedSpectrumGivesItsTemperatureAndZeroAbsorption) {
    ASSERT_NE(psi.front(), psi.back()); // the table's ψ varies over the window
    std::vector<double> a, c;
    spectrum(0.3, a, c);
    const std::vector<double> c_in = c;
    const ResidualSetup s = residual_setup(grid, psi, opts);
    EXPECT_EQ(s.window.size(), 11u);
    std::vector<std::pair<double, double>> scratch;
    const double dt = residual_correct(s, a.data(), c.data(), a.size(), scratch);
    EXPECT_NEAR(dt, 0.3, 1e-9);
    for (std::size_t i = 0; i < grid.size(); ++i) {
        EXPECT_NEAR(a[i], 0.0, 1e-12) << grid[i]; // nothing but water and scattering was there
        EXPECT_NEAR(c[i], c_in[i] - psi[i] * dt, 1e-15) << grid[i];
    }
}

TEST_F(Residual, NoisySpectrumMinimisesTheMisfitAsABruteForceScanDoes) {
    std::vector<double> a, c;
    spectrum(-0.8, a, c, 0.002);
    const std::vector<double> a_in = a, c_in = c;
    const ResidualSetup s = residual_setup(grid, psi, opts);
    std::vector<std::pair<double, double>> scratch;
    const double dt = residual_correct(s, a.data(), c.data(), a.size(), scratch);
    double best = std::numeric_limits<double>::infinity(), best_dt = 0.0;
    for (double x = -5.0; x <= 5.0; x += 1e-4) {
        if (const double f = misfit(a_in, c_in, x); f < best) {
            best = f;
            best_dt = x;
        }
    }
    EXPECT_NE(dt, -0.8); // the noise moves it
    EXPECT_NEAR(dt, best_dt, 2e-4);
    EXPECT_LE(misfit(a_in, c_in, dt), best + 1e-12);
}

TEST_F(Residual, NonPositiveReferenceScatteringGivesNaN) {
    std::vector<double> a, c;
    spectrum(0.3, a, c);
    c[6] = a[6]; // b_ref = 0
    const ResidualSetup s = residual_setup(grid, psi, opts);
    std::vector<std::pair<double, double>> scratch;
    EXPECT_TRUE(std::isnan(residual_correct(s, a.data(), c.data(), a.size(), scratch)));
    EXPECT_TRUE(std::isnan(a[0]) && std::isnan(c[10]));
}

TEST_F(Residual, RefusesAWindowOfFewerThanThreeChannels) {
    opts.window_lo = 742.0; // 745 and 750 only
    EXPECT_EQ(error_of([&] { residual_setup(grid, psi, opts); }),
              "The residual temperature correction needs at least 3 channels between 742 and "
              "750 nm.");
}

// A small HYP data set whose c channels sit 1 nm above the a channels.
class Products : public ::testing::Test {
  protected:
    HYP_Data d;
    ProcessingOptions o;

    void SetUp() override {
        d.instrument_type = InstrumentType::HYP;
        d.file_name = "cast.dat";
        for (double wl = 640.0; wl <= 750.0; wl += 10.0) {
            d.a_wavelengths.push_back(wl);
            d.c_wavelengths.push_back(wl + 1.0);
        }
        d.num_wavelengths = static_cast<std::int32_t>(d.a_wavelengths.size());
        d.fac_cal_temp = 20.0;
        for (int j = 0; j < 5; ++j) {
            hyp_data r;
            r.time = 250.0 * j;
            for (std::size_t i = 0; i < d.a_wavelengths.size(); ++i) {
                r.a_values.push_back(0.2 + 0.01 * i + 0.002 * j);
                r.c_values.push_back(0.9 - 0.02 * i + 0.003 * j);
            }
            d.records.push_back(r);
        }
        d.setup_ts_coefs();
        o.temperature.apply = true;
        o.temperature.constant = 23.0;
        o.scattering.apply = true;
        o.output.chl_column = true;
    }
};

TEST_F(Products, WithoutProductStepsTheValuesAreThoseOfTheCorrectedFile) {
    for (const ScatMethod m :
         {ScatMethod::Baseline, ScatMethod::Proportional, ScatMethod::FractionOfB}) {
        o.scattering.method = m;
        o.apply_to(d);
        ASSERT_FALSE(uses_products(o));
        const ProductTable t = make_products(d, o);
        ASSERT_EQ(t.rows(), d.records.size());
        const std::size_t n = d.a_wavelengths.size();
        for (std::size_t r = 0; r < t.rows(); ++r) {
            const hyp_data want = d.correct_one_line(r);
            for (std::size_t i = 0; i < n; ++i) {
                EXPECT_EQ(t.a[r * n + i], want.a_values[i]);
                EXPECT_EQ(t.c[r * n + i], want.c_values[i]);
            }
            EXPECT_EQ(t.chl[r], d.chl_ratio_of(want));
        }
        EXPECT_TRUE(t.info.processing.empty());
    }
}

TEST_F(Products, GridOntoADropsTheAChannelBelowTheCChannels) {
    o.scattering.apply = false;
    o.grid.kind = GridKind::OntoA;
    o.apply_to(d);
    const ProductTable t = make_products(d, o);
    // 640 nm lies below the first c channel (641 nm).
    ASSERT_EQ(t.a_wavelengths.size(), d.a_wavelengths.size() - 1);
    EXPECT_EQ(t.a_wavelengths.front(), 650.0);
    EXPECT_EQ(t.c_wavelengths, t.a_wavelengths);
    const std::size_t n = t.a_channels();
    const hyp_data want = d.correct_one_line(2);
    // c at 650 nm: 0.9 of the way from 641 to 651 nm; a keeps its value.
    EXPECT_NEAR_REL(t.c[2 * n], want.c_values[0] + 0.9 * (want.c_values[1] - want.c_values[0]));
    EXPECT_EQ(t.a[2 * n], want.a_values[1]);
    EXPECT_EQ(t.info.processing, "c onto a wavelengths.");
}

TEST_F(Products, RegularGridKeepsThePointsWithinBothRanges) {
    o.scattering.apply = false;
    o.grid = {GridKind::Regular, 630.0, 760.0, 5.0};
    o.apply_to(d);
    const ProductTable t = make_products(d, o);
    // a covers 640-750, c 641-751: 645 ... 750 remain.
    ASSERT_FALSE(t.a_wavelengths.empty());
    EXPECT_EQ(t.a_wavelengths.front(), 645.0);
    EXPECT_EQ(t.a_wavelengths.back(), 750.0);
    EXPECT_EQ(t.a_channels(), 22u);
    const hyp_data want = d.correct_one_line(0);
    const std::size_t last = t.a_channels() - 1;
    EXPECT_EQ(t.a[last], want.a_values.back());
    EXPECT_NEAR_REL(t.c[last], want.c_values[10] + 0.9 * (want.c_values[11] - want.c_values[10]));
}

TEST_F(Products, ResidualMethodNeedsAGridAndFillsDT) {
    o.scattering.method = ScatMethod::ResidualTemp;
    o.apply_to(d);
    EXPECT_EQ(error_of([&] { make_products(d, o); }),
              "The residual temperature correction needs a common wavelength grid (--grid a).");
    o.grid.kind = GridKind::OntoA;
    const ProductTable t = make_products(d, o);
    EXPECT_EQ(t.dT.size(), t.rows());
    EXPECT_TRUE(std::isfinite(t.dT[0]));
    // The scattering switch of the data set is back as it was.
    EXPECT_TRUE(d.do_scat);
}

TEST_F(Products, SiblingPathsKeepTheFolderAndTheExtension) {
    EXPECT_EQ(sibling_path("out/cast_corrected.txt", "_flags", ""), "out/cast_corrected_flags.txt");
    EXPECT_EQ(sibling_path("cast_corrected.txt", "", ".nc"), "cast_corrected.nc");
    EXPECT_EQ(sibling_path("cast", "_sd", ""), "cast_sd");
}

TEST(ProductRecipe, EveryNewOptionReadsBackAndOldRecipesStillRead) {
    ProcessingOptions o;
    o.ctd.time_format = CtdTimeFormat::DateTime;
    o.ctd.lag_s = -2.5;
    o.ctd.max_gap_s = 30.0;
    o.gps.file = "track.nmea";
    o.grid = {GridKind::Regular, 400.0, 750.0, 2.0};
    o.scattering = {true, ScatMethod::ResidualTemp, 715.0, true, {725.0, 705.0, 745.0}};
    o.qc.apply = true;
    o.qc.spike_fail = 0.07;
    o.qc.flat_fail = 90;
    o.qc.window_hi = 690.0;
    o.binning = {BinKind::Depth, 2.0, CastDirection::Up, BinStat::Mean, 5, true};
    o.output.netcdf = true;
    o.output.text = false;
    o.metadata = {{"investigators", "A_Person"}, {"cruise", "test 1"}};
    ProcessingOptions back;
    back.read_json(o.to_json());
    EXPECT_EQ(back, o);
    // Unset stays unset; a recipe without the new sections keeps the defaults.
    const std::string text = ProcessingOptions{}.to_json();
    EXPECT_NE(text.find("\"max_gap_s\": null"), std::string::npos) << text;
    EXPECT_NE(text.find("\"formats\": [\n      \"text\"\n    ]"), std::string::npos) << text;
    ProcessingOptions old;
    old.read_json(R"({"velmora_recipe": 1, "scattering": {"apply": true, "method": "baseline"}})");
    EXPECT_EQ(old.grid, ProcessingOptions::Grid{});
    EXPECT_EQ(old.qc, ProcessingOptions::Qc{});
    EXPECT_EQ(old.scattering.method, ScatMethod::Baseline);
}

TEST(ProductRecipe, RefusesValuesTheStepsCannotUse) {
    struct Case {
        const char* json;
        const char* message;
    };
    const Case cases[] = {
        {R"({"binning": {"kind": "time", "width": 0}})",
         "Recipe key binning.width needs a number above 0."},
        {R"({"binning": {"min_count": 0}})",
         "Recipe key binning.min_count needs a whole number from 1 up."},
        {R"({"grid": {"kind": "regular", "start": 700, "stop": 400, "step": 2}})",
         "Recipe key grid needs start <= stop and a step above 0."},
        {R"({"grid": {"kind": "fine"}})", "Recipe key grid.kind is native, a or regular, not "
                                          "'fine'."},
        {R"({"qc": {"spike": 1}})", "Unknown recipe key: qc.spike"},
        {R"({"output": {"formats": []}})",
         "Recipe key output.formats needs a list of text, netcdf and seabass."},
        {R"({"metadata": {"cruise": 7}})", "Recipe key metadata.cruise needs a text in quotes."},
        {R"({"ctd": {"time_format": "hours"}})",
         "Recipe key ctd.time_format is ms, s, epoch, iso or date-time, not 'hours'."},
    };
    for (const Case& c : cases) {
        ProcessingOptions o;
        EXPECT_EQ(error_of([&] { o.read_json(c.json); }), c.message) << c.json;
        EXPECT_EQ(o, ProcessingOptions{}) << c.json;
    }
}

} // namespace
