// Quality-control flags of the product table: each test at and just past its threshold, the
// flag of a value and of a record, the record window.
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "products.h"
#include "test_util.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
using Column = std::vector<double>;
using Flags = std::vector<int>;

// Options under which no test but the one a case sharpens gives anything but a pass.
ProcessingOptions::Qc loose() {
    ProcessingOptions::Qc q;
    q.range_min = -1e9;
    q.range_max = 1e9;
    q.spike_suspect = q.spike_fail = 1e9;
    q.flat_eps = -1.0; // no two values are ever that close
    q.neg_b_suspect = q.neg_b_fail = -1e9;
    q.gap_factor = 1e9;
    q.residual_suspect = q.residual_fail = 1e9;
    return q;
}

// A table whose a channel i holds a_cols[i] (one value per record) and c channel i c_cols[i];
// records every 250 ms, a channel i at 500 + i nm, c channels half a nanometre above.
ProductTable from_columns(const std::vector<Column>& a_cols, const std::vector<Column>& c_cols) {
    ProductTable t;
    const std::size_t rows = a_cols.empty() ? c_cols.at(0).size() : a_cols[0].size();
    for (std::size_t i = 0; i < a_cols.size(); ++i)
        t.a_wavelengths.push_back(500.0 + i);
    for (std::size_t i = 0; i < c_cols.size(); ++i)
        t.c_wavelengths.push_back(500.5 + i);
    for (std::size_t n = 0; n < rows; ++n) {
        t.time.push_back(250.0 * n);
        for (const Column& col : a_cols)
            t.a.push_back(col.at(n));
        for (const Column& col : c_cols)
            t.c.push_back(col.at(n));
    }
    return t;
}

// The flags of a channel's values in record order.
Flags a_flags_of(const ProductTable& t, std::size_t channel) {
    Flags f;
    for (std::size_t n = 0; n < t.rows(); ++n)
        f.push_back(t.a_flags.at(n * t.a_channels() + channel));
    return f;
}
Flags c_flags_of(const ProductTable& t, std::size_t channel) {
    Flags f;
    for (std::size_t n = 0; n < t.rows(); ++n)
        f.push_back(t.c_flags.at(n * t.c_channels() + channel));
    return f;
}

TEST(QcRange, AtAndPastTheLimitsAndMissingValues) {
    struct Case {
        double x;
        int flag;
    } const cases[] = {
        {-0.05, 1}, {-0.0500001, 4}, {15.0, 1}, {15.0000001, 4},
        {0.3, 1},   {kNaN, 9},       {kInf, 9}, {-kInf, 9},
    };
    std::vector<Column> cols;
    for (const Case& k : cases)
        cols.push_back({k.x});
    ProductTable t = from_columns(cols, {{0.5}});
    ProcessingOptions::Qc q = loose();
    q.range_min = -0.05;
    q.range_max = 15.0;
    apply_qc(t, q);
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(a_flags_of(t, i), Flags{cases[i].flag}) << "x = " << cases[i].x;
}

TEST(QcSpike, AtAndPastTheThresholdsAgainstTheMeanOfTheNeighbours) {
    // Binary fractions, so that d lands exactly on a threshold.
    struct Case {
        double prev, x, next;
        int flag; // of the middle record
    } const cases[] = {
        {1.0, 1.625, 2.0, 1},        // d = 0.125: not above suspect
        {1.0, 1.625 + 1e-9, 2.0, 3}, // just above
        {1.0, 1.25, 2.0, 3},         // d = 0.25, below the mean: not above fail
        {1.0, 1.75 + 1e-9, 2.0, 4},  // just above fail
        {kNaN, 5.0, 1.0, 1},         // a missing neighbour: not evaluated
        {1.0, 5.0, kInf, 1},         // or one that is not finite
        {0.0, kNaN, 0.0, 9},         // missing itself
    };
    std::vector<Column> cols;
    for (const Case& k : cases)
        cols.push_back({k.prev, k.x, k.next});
    ProductTable t = from_columns(cols, {{0.5, 0.5, 0.5}});
    ProcessingOptions::Qc q = loose();
    q.spike_suspect = 0.125;
    q.spike_fail = 0.25;
    apply_qc(t, q);
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(a_flags_of(t, i)[1], cases[i].flag) << "case " << i;
    // The first and last records have one neighbour only: never a spike.
    ProductTable ends = from_columns({{9.0, 0.0, 9.0}}, {{0.5, 0.5, 0.5}});
    apply_qc(ends, q);
    EXPECT_EQ(a_flags_of(ends, 0), (Flags{1, 4, 1}));
}

TEST(QcFlatLine, SuspectAndFailWindowsCompareEachPreviousValueWithTheCurrentOne) {
    ProcessingOptions::Qc q = loose();
    q.flat_eps = 0.125;
    q.flat_suspect = 3;
    q.flat_fail = 5;
    const double past = 2.125 + std::ldexp(1.0, -20); // just over eps from 2
    const Column x = {1, 1,    1, 1,    1.125, 1, 1.25, 1.125, 2, 2, 2,
                      2, past, 2, kNaN, 2,     2, 2,    2,     2, 2};
    const Flags expected = {
        1, 1, 1,          // fewer than K_s records before
        3,                // three equal before, fewer than K_f records
        3,                // the previous three at eps
        4,                // the previous five within eps
        1,                // the previous one is 0.25 away
        4,                // 1.25 and 1.0 are 0.25 apart, but both within eps of 1.125
        1, 1, 1,          // 1.125 and 1.25 in the suspect window
        3,                // the suspect window flat, the fail window not
        1, 1,             // just over eps
        9, 1, 1, 1, 1, 1, // the missing value within the fail window: not evaluated
        4,
    };
    ProductTable t = from_columns({x}, {Column(x.size(), 0.5)});
    apply_qc(t, q);
    EXPECT_EQ(a_flags_of(t, 0), expected);
}

// The flat-line rule as it reads, value by value, against random walks with missing values:
// stretches that run flat often (steps of 0, 0.5 and 1 with eps 1) between stretches that never
// do, some longer than the windows.
TEST(QcFlatLine, AgreesWithTheRuleAppliedValueByValue) {
    std::mt19937 rng(7);
    for (const auto& [ks, kf] :
         {std::pair{4, 9}, std::pair{1, 1}, std::pair{6, 2}, std::pair{20, 60}}) {
        ProcessingOptions::Qc q = loose();
        q.flat_eps = 1.0;
        q.flat_suspect = ks;
        q.flat_fail = kf;
        Column x(6000);
        double level = 0.0;
        bool steady = true;
        for (double& v : x) {
            if (rng() % 40 == 0)
                steady = !steady;
            const unsigned r = rng() % 100;
            if (steady)
                level += r < 10 ? 1.0 : r < 20 ? -1.0 : r < 23 ? 0.5 : 0.0;
            else
                level += r < 50 ? 1.5 : -1.5;
            v = r == 99 ? kNaN : level;
        }
        ProductTable t = from_columns({x}, {Column(x.size(), 0.5)});
        apply_qc(t, q);
        const Flags got = a_flags_of(t, 0);
        auto flat_back = [&](std::size_t n, int w) {
            for (int k = 1; k <= w; ++k)
                if (!(std::fabs(x[n] - x[n - k]) <= q.flat_eps))
                    return false;
            return true;
        };
        for (std::size_t n = 0; n < x.size(); ++n) {
            int want = 1;
            const std::size_t K = n >= static_cast<std::size_t>(kf) ? kf : ks;
            bool finite = true;
            for (std::size_t k = 1; k <= K && k <= n; ++k)
                finite = finite && std::isfinite(x[n - k]);
            if (!std::isfinite(x[n]))
                want = 9;
            else if (n >= static_cast<std::size_t>(ks) && finite)
                want = n >= static_cast<std::size_t>(kf) && flat_back(n, kf) ? 4
                       : flat_back(n, ks)                                    ? 3
                                                                             : 1;
            ASSERT_EQ(got[n], want) << "record " << n << ", K_s " << ks << ", K_f " << kf;
        }
    }
}

TEST(QcNegativeB, OnACommonGridFlagsBothValuesOfTheChannel) {
    struct Case {
        double a, c;
        int flag;
    } const cases[] = {
        {0.01, 0.0, 1},      // b = -0.01: not below suspect
        {0.0100001, 0.0, 3}, // just below
        {0.05, 0.0, 3},      // b = -0.05: not below fail
        {0.0500001, 0.0, 4}, // just below
        {0.3, 0.9, 1},       // positive
        {kNaN, 0.0, 9},      // the c value: no b to test
    };
    std::vector<Column> a, c;
    for (const Case& k : cases) {
        a.push_back({k.a});
        c.push_back({k.c});
    }
    ProcessingOptions::Qc q = loose();
    q.neg_b_suspect = -0.01;
    q.neg_b_fail = -0.05;
    ProductTable t = from_columns(a, c);
    t.c_wavelengths = t.a_wavelengths;
    t.common_grid = true;
    apply_qc(t, q);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(a_flags_of(t, i), Flags{cases[i].flag}) << "case " << i;
        EXPECT_EQ(c_flags_of(t, i), Flags{i == 5 ? 1 : cases[i].flag}) << "case " << i;
    }
    // Off a common grid the channels of a and c are not the same: no test.
    ProductTable native = from_columns(a, c);
    apply_qc(native, q);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(a_flags_of(native, i), Flags{1}) << "case " << i;
}

TEST(QcGap, StepsLongerThanTheFactorTimesTheMedianStep) {
    struct Case {
        std::vector<double> time;
        double factor;
        Flags record_flags;
    } const cases[] = {
        // steps 250 250 1000 1000.0001 250: median 250, the limit 1000
        {{0, 250, 500, 1500, 2500.0001, 2750}, 4.0, {1, 1, 1, 1, 3, 1}},
        // steps 100 200 700 1000: median 450 (not 200 or 700), the limit 900
        {{0, 100, 300, 1000, 2000}, 2.0, {1, 1, 1, 1, 3}},
    };
    for (const Case& k : cases) {
        ProductTable t = from_columns({Column(k.time.size(), 0.3)}, {Column(k.time.size(), 0.5)});
        t.time = k.time;
        t.a[1] = kNaN; // a missing value stays missing in a gap
        ProcessingOptions::Qc q = loose();
        q.gap_factor = k.factor;
        apply_qc(t, q);
        Flags want_a = k.record_flags;
        want_a[1] = 9;
        EXPECT_EQ(a_flags_of(t, 0), want_a);
        EXPECT_EQ(c_flags_of(t, 0), k.record_flags);
    }
}

TEST(QcResidualTemperature, FlagsEveryValueOfTheRecord) {
    const std::vector<double> dT = {1.0, 1.0000001, -3.0, 3.0000001, -3.0000001, kNaN, 0.0};
    const Flags want = {1, 3, 3, 4, 4, 4, 1};
    ProductTable t =
        from_columns({Column(dT.size(), 0.3), Column(dT.size(), 0.4)}, {Column(dT.size(), 0.5)});
    t.dT = dT;
    ProcessingOptions::Qc q = loose();
    q.residual_suspect = 1.0;
    q.residual_fail = 3.0;
    apply_qc(t, q);
    EXPECT_EQ(a_flags_of(t, 0), want);
    EXPECT_EQ(a_flags_of(t, 1), want);
    EXPECT_EQ(c_flags_of(t, 0), want);
    EXPECT_EQ(std::vector<int>(t.flag.begin(), t.flag.end()), want);
}

// A common grid at 399, 400, 700 and 701 nm: the record window 400-700 takes the middle two.
class QcRecordFlag : public ::testing::Test {
  protected:
    ProductTable t;
    ProcessingOptions::Qc q = loose();

    void SetUp() override {
        t = from_columns(std::vector<Column>(4, Column(8, 0.1)),
                         std::vector<Column>(4, Column(8, 0.5)));
        t.a_wavelengths = t.c_wavelengths = {399.0, 400.0, 700.0, 701.0};
        t.common_grid = true;
        q.range_min = -0.05;
        q.range_max = 15.0;
        q.neg_b_suspect = -0.01;
    }
    double& a(std::size_t n, std::size_t i) { return t.a[n * 4 + i]; }
    double& c(std::size_t n, std::size_t i) { return t.c[n * 4 + i]; }
};

TEST_F(QcRecordFlag, WorstValueInTheWindowWithMissingCountedAsSuspect) {
    a(1, 0) = 20.0; // fails outside the window
    a(2, 3) = kNaN; // missing outside the window
    c(3, 1) = 20.0; // fails at the window's lower edge
    a(4, 2) = kNaN; // missing at the upper edge
    a(5, 2) = 0.53; // b = -0.03: suspect
    a(6, 1) = kNaN; // missing and failing: fail
    c(6, 2) = 20.0;
    a(7, 0) = a(7, 3) = kNaN; // missing outside, suspect inside
    a(7, 1) = 0.52;
    apply_qc(t, q);
    EXPECT_EQ(std::vector<int>(t.flag.begin(), t.flag.end()), (Flags{1, 1, 1, 4, 3, 3, 4, 3}));
    EXPECT_EQ(a_flags_of(t, 2), (Flags{1, 1, 1, 1, 9, 3, 1, 1}));
    EXPECT_EQ(c_flags_of(t, 2), (Flags{1, 1, 1, 1, 1, 3, 4, 1}));
}

TEST_F(QcRecordFlag, NotEvaluatedWithoutChannelsInTheWindow) {
    q.window_lo = 710.0;
    q.window_hi = 800.0;
    a(0, 3) = 20.0;
    apply_qc(t, q);
    EXPECT_EQ(std::vector<int>(t.flag.begin(), t.flag.end()), Flags(8, 2));
    EXPECT_EQ(a_flags_of(t, 3)[0], 4);
}

// Channel i is a_wavelengths[i] with c_wavelengths[i]: off a common grid a channel's c value
// counts when its a wavelength lies in the window, wherever its own wavelength lies.
TEST_F(QcRecordFlag, OffACommonGridTheCValuesGoByTheirChannelsAWavelength) {
    t.common_grid = false;
    t.c_wavelengths = {400.5, 401.0, 700.5, 701.5};
    c(0, 0) = 20.0; // c inside the window, its channel's a (399) outside
    c(1, 2) = 20.0; // c outside, its channel's a (700) inside
    apply_qc(t, q);
    EXPECT_EQ(c_flags_of(t, 0)[0], 4);
    EXPECT_EQ(t.flag[0], 1);
    EXPECT_EQ(t.flag[1], 4);
}

TEST(Qc, ColumnsThatDoNotMatchTheRowsAreRefused) {
    ProductTable t = from_columns({{0.1, 0.2, 0.3}}, {{0.5, 0.5, 0.5}});
    t.dT = {0.0, 0.0};
    EXPECT_EQ(test_util::error_of([&] { apply_qc(t, ProcessingOptions::Qc{}); }),
              "The product table's columns do not match its rows.");
    t.dT.clear();
    t.c.pop_back();
    EXPECT_EQ(test_util::error_of([&] { apply_qc(t, ProcessingOptions::Qc{}); }),
              "The product table's columns do not match its rows.");
}

TEST(Qc, EmptyTableGetsNoFlags) {
    ProductTable t;
    t.a_wavelengths = t.c_wavelengths = {500.0};
    apply_qc(t, ProcessingOptions::Qc{});
    EXPECT_FALSE(t.has_qc());
    EXPECT_TRUE(t.a_flags.empty());
}

} // namespace
