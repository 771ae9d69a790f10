// The built-in coefficient table and the choice of one row per channel.
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "hyp_data.h"
#include "test_util.h"

namespace {

struct TellingRow {
    double nm, psi_s_a, psi_s_c, psi_t;
};

const TellingRow kTellingRows[] = {
    {400.0, -0.000012, 0.000033, 0.0001},        {412.0, -0.000021, 0.00004, 0.00003},
    {440.0, -0.000035, 0.000025, -0.00002},      {488.0, -0.000041, 0.000009, 0.00001},
    {510.0, -0.000042, 0.000007, 0.00005},       {532.0, -0.000037, 0.00001, 0.00003},
    {555.0, -0.000039, 0.000004, 0.00001},       {600.0, -0.000034, 0.000001, 0.00098},
    {650.0, -0.000009, 0.000026, 0.00001},       {676.0, -0.000038, -0.000004, -0.00005},
    {681.0, -0.00006, -0.000027, -0.00009},      {700.0, -0.000181, -0.000151, 0.0007},
    {715.0, -0.000232, -0.000206, 0.00416},      {721.0, -0.000239, -0.000212, 0.00678},
    {730.0, -0.000169, -0.000135, 0.01129},      {738.0, 0.000118, 0.000156, 0.01364},
    {740.0, 0.000216, 0.000262, 0.01359},        {750.0, 0.000621, 0.000671, 0.010729636},
    {755.0, 0.000772901, 0.000818, 0.008529636},
};

std::size_t row_of(double nm) {
    return static_cast<std::size_t>(std::lround((nm - 400.0) * 10));
}

TEST(TsTable, NewDataSetHoldsTheWholeTable) {
    HYP_Data d;
    EXPECT_TRUE(ts_table_loaded);
    ASSERT_EQ(d.ts_table.size(), 3551u);
    for (std::size_t k = 0; k < d.ts_table.size(); ++k) {
        // The nearest double to the one-decimal number, not a sum of 0.1 steps.
        ASSERT_EQ(d.ts_table[k].wavelength, static_cast<double>(4000 + k) / 10.0) << "row " << k;
        ASSERT_EQ(d.ts_table[k].psi_t_a, d.ts_table[k].psi_t_c) << "row " << k;
    }
    EXPECT_EQ(d.ts_table.front().wavelength, 400.0);
    EXPECT_EQ(d.ts_table.back().wavelength, 755.0);
    EXPECT_EQ(d.ts_table[row_of(412.3)].wavelength, 412.3);
}

TEST(TsTable, TellingRows) {
    HYP_Data d;
    for (const TellingRow& r : kTellingRows) {
        const ts_coef& row = d.ts_table[row_of(r.nm)];
        SCOPED_TRACE(r.nm);
        EXPECT_EQ(row.wavelength, r.nm);
        EXPECT_EQ(row.psi_s_a, r.psi_s_a);
        EXPECT_EQ(row.psi_s_c, r.psi_s_c);
        EXPECT_EQ(row.psi_t_a, r.psi_t);
        EXPECT_EQ(row.psi_t_c, r.psi_t);
    }
}

TEST(TsTable, ExtremesLieAtTheirReferenceRows) {
    HYP_Data d;
    auto at_min = [&](auto field) {
        std::size_t best = 0;
        for (std::size_t k = 1; k < d.ts_table.size(); ++k)
            if (d.ts_table[k].*field < d.ts_table[best].*field)
                best = k;
        return d.ts_table[best].wavelength;
    };
    auto at_max = [&](auto field) {
        std::size_t best = 0;
        for (std::size_t k = 1; k < d.ts_table.size(); ++k)
            if (d.ts_table[k].*field > d.ts_table[best].*field)
                best = k;
        return d.ts_table[best].wavelength;
    };
    EXPECT_EQ(at_min(&ts_coef::psi_s_a), 721.0);
    EXPECT_EQ(at_max(&ts_coef::psi_s_a), 755.0);
    EXPECT_EQ(at_min(&ts_coef::psi_s_c), 721.0);
    EXPECT_EQ(at_max(&ts_coef::psi_s_c), 755.0);
    EXPECT_EQ(at_min(&ts_coef::psi_t_a), 681.0);
    EXPECT_EQ(at_max(&ts_coef::psi_t_a), 738.0);
    // From 750.0 nm the temperature coefficient falls by 0.000044 per row.
    for (std::size_t k = row_of(750.0) + 1; k < d.ts_table.size(); ++k)
        EXPECT_NEAR(d.ts_table[k - 1].psi_t_a - d.ts_table[k].psi_t_a, 0.000044, 1e-12);
}

// A data set with the given channel wavelengths (a and c) and instrument type.
void set_channels(HYP_Data& d, std::vector<double> a, std::vector<double> c,
                  InstrumentType type) {
    d.a_wavelengths = std::move(a);
    d.c_wavelengths = std::move(c);
    d.instrument_type = type;
}

TEST(SetupTsCoefs, TakesTheLastRowAtOrBelowEachChannel) {
    struct Case {
        double channel, row;
    };
    const Case cases[] = {
        {412.0, 412.0}, {412.05, 412.0}, {412.1, 412.1}, {412.39, 412.3},
        {395.0, 400.0}, {800.0, 755.0},  {755.0, 755.0}, {400.0, 400.0},
    };
    HYP_Data d;
    std::vector<double> a, c;
    for (const Case& k : cases) {
        a.push_back(k.channel);
        c.push_back(600.0); // c channels are looked up on their own
    }
    set_channels(d, a, c, InstrumentType::HYP);
    d.setup_ts_coefs();
    ASSERT_EQ(d.a_coefs.size(), std::size(cases));
    ASSERT_EQ(d.c_coefs.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].channel);
        EXPECT_EQ(d.a_coefs[i].wavelength, d.ts_table[row_of(cases[i].row)].wavelength);
        EXPECT_EQ(d.a_coefs[i].psi_s_a, d.ts_table[row_of(cases[i].row)].psi_s_a);
        // HYP keeps the table's temperature coefficients.
        EXPECT_EQ(d.a_coefs[i].psi_t_a, d.ts_table[row_of(cases[i].row)].psi_t_a);
        EXPECT_EQ(d.c_coefs[i].wavelength, 600.0);
    }
    // A second call rebuilds the same rows.
    const auto first = d.a_coefs;
    d.setup_ts_coefs();
    ASSERT_EQ(d.a_coefs.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i)
        EXPECT_EQ(d.a_coefs[i].wavelength, first[i].wavelength);
}

TEST(SetupTsCoefs, RefusesListsOfDifferentLength) {
    HYP_Data d;
    set_channels(d, {412, 440, 488}, {412, 440}, InstrumentType::HYP);
    try {
        d.setup_ts_coefs();
        FAIL() << "no error";
    } catch (const VelmoraError& e) {
        EXPECT_STREQ(e.what(), "a and c wavelength lists differ in length.");
    }
}

double gaussian_bands(double n) {
    const double bands[12][4] = {
        {453, 18, 0.18, 0.0045}, {485, 15, 0.17, 0.002},   {517, 14, 0.52, 0.0045},
        {558, 20, 1.4, 0.002},   {610, 17.5, 4.6, 0.0045}, {638, 15, 2.1, -0.004},
        {661, 17, 4.3, 0.002},   {697, 22, 9.6, -0.001},   {740, 6, 1.6, 0.0045},
        {744, 18, 34, 0.0062},   {775, 20, 18, -0.001},    {795, 25, 42, -0.001},
    };
    double sum = 0;
    for (const auto& b : bands)
        sum += b[2] / b[1] * b[3] * std::exp(-(n - b[0]) * (n - b[0]) / (2 * b[1] * b[1]));
    return sum;
}

TEST(SetupTsCoefs, FilterWheelTemperatureCoefficients) {
    const std::vector<double> wl = {412, 440, 488, 510, 532, 555, 650, 676, 715};
    const double expected[] = {0.0001, 0, 0, 0.0002, 0.0001, 0.0001, -0.0001, -0.0001, 0.0029};
    HYP_Data d;
    set_channels(d, wl, wl, InstrumentType::FLW);
    d.setup_ts_coefs();
    for (std::size_t i = 0; i < wl.size(); ++i) {
        SCOPED_TRACE(wl[i]);
        EXPECT_EQ(d.a_coefs[i].psi_t_a, expected[i]);
        EXPECT_EQ(d.c_coefs[i].psi_t_c, expected[i]);
        const ts_coef& row = d.ts_table[row_of(wl[i])];
        EXPECT_EQ(d.a_coefs[i].psi_s_a, row.psi_s_a);
        EXPECT_EQ(d.c_coefs[i].psi_s_c, row.psi_s_c);
    }
    // The table itself is untouched.
    EXPECT_EQ(d.ts_table[row_of(715)].psi_t_a, 0.00416);

    HYP_Data g;
    set_channels(g, {630, 412, 440, 488, 510, 532, 555, 650, 750},
                 {630, 412, 440, 488, 510, 532, 555, 650, 750}, InstrumentType::FLW);
    g.setup_ts_coefs();
    EXPECT_NEAR_REL(g.a_coefs[0].psi_t_a, gaussian_bands(630));
    EXPECT_NEAR_REL(g.c_coefs[0].psi_t_c, gaussian_bands(630));
    EXPECT_EQ(g.a_coefs[8].psi_t_a, 0.0107);
}

TEST(SetupTsCoefs, FilterWheelChannelsOnDifferentRows) {
    std::vector<double> a = {412.5, 440, 488, 510, 532, 555, 650, 676, 715};
    std::vector<double> c = {412.7, 440, 488, 510, 532, 555, 650, 676, 715};
    HYP_Data d;
    set_channels(d, a, c, InstrumentType::FLW);
    try {
        d.setup_ts_coefs();
        FAIL() << "no error";
    } catch (const VelmoraError& e) {
        EXPECT_STREQ(e.what(), "grumble grumble");
    }
    EXPECT_EQ(d.a_coefs.size(), 9u); // the row choice was made for every channel

    a[0] = 412.0; // a whole-number a wavelength passes
    HYP_Data ok;
    set_channels(ok, a, c, InstrumentType::FLW);
    EXPECT_NO_THROW(ok.setup_ts_coefs());
    EXPECT_EQ(ok.a_coefs[0].psi_t_a, 0.0001);
}

} // namespace
