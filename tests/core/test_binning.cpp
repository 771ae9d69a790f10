// Time and depth bins of the product table, worked out by hand.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "clock_time.h"
#include "parallel.h"
#include "products.h"
#include "test_util.h"

namespace {

using test_util::error_of;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
using Values = std::vector<double>;

// Records at the given times with two a channels (the first holds `a0`, the second 100 + a0)
// and one c channel holding 10 × a0.
ProductTable records(const Values& time, const Values& a0) {
    ProductTable t;
    t.a_wavelengths = {500.0, 600.0};
    t.c_wavelengths = {501.0};
    t.time = time;
    for (double v : a0) {
        t.a.push_back(v);
        t.a.push_back(100.0 + v);
        t.c.push_back(10.0 * v);
    }
    return t;
}

ProcessingOptions::Binning time_bins(double seconds) {
    ProcessingOptions::Binning b;
    b.kind = BinKind::Time;
    b.width = seconds;
    return b;
}

// Column `channel` of a binned matrix.
template <typename T>
std::vector<T> column(const std::vector<T>& m, std::size_t channels, std::size_t channel) {
    std::vector<T> out;
    for (std::size_t k = channel; k < m.size(); k += channels)
        out.push_back(m[k]);
    return out;
}

void expect_values(const Values& got, const Values& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < want.size(); ++k)
        EXPECT_NEAR_REL(got[k], want[k]) << "row " << k;
}

// 12:00:50 UTC, so that record time 10 s is the whole minute 12:01:00.
const std::int64_t kStart = *clock_time::parse_iso("2024-03-15T12:00:50Z");

TEST(TimeBins, WholeUtcMinutesWithAStartTimeElseFromTimeZero) {
    const Values time = {0, 5000, 9999, 10000, 15000, 69999, 70000};
    const Values a0 = {1, 2, 4, 10, 20, 60, 7};
    struct Case {
        std::optional<std::int64_t> start;
        Values centres;
        std::vector<int> n;
        Values median, sd;
    } const cases[] = {
        // minutes from 12:00:00: [0, 9999], [10000, 69999], [70000]; centres 12:00:30 ...
        {kStart,
         {-20000, 40000, 100000},
         {3, 3, 1},
         {2, 20, kNaN},
         {std::sqrt(7.0 / 3.0), std::sqrt(700.0), kNaN}},
        // minutes from record time 0: [0, 15000], [69999, 70000]
        {std::nullopt, {30000, 90000}, {5, 2}, {4, kNaN}, {std::sqrt(61.8), kNaN}},
    };
    for (const Case& k : cases) {
        ProductTable t = records(time, a0);
        t.start_utc = k.start;
        const ProductTable b = bin_products(t, time_bins(60));
        EXPECT_EQ(b.bin_kind, BinKind::Time);
        EXPECT_EQ(b.start_utc, k.start);
        expect_values(b.time, k.centres);
        EXPECT_EQ(b.n, k.n);
        expect_values(column(b.a, 2, 0), k.median);
        expect_values(column(b.a_sd, 2, 0), k.sd);
        Values second = k.median;
        for (double& v : second)
            v += 100.0;
        expect_values(column(b.a, 2, 1), second);
        Values c = k.median;
        for (double& v : c)
            v *= 10.0;
        expect_values(b.c, c);
        // The count stays the real one where too few values leave the bin empty.
        EXPECT_EQ(column(b.a_n, 2, 0), k.n);
        EXPECT_EQ(b.c_n, k.n);
    }
}

TEST(TimeBins, SubSecondWidthsAndRecordsOutOfOrder) {
    ProductTable t = records({900, 100, 400, 600, 1400}, {5, 1, 2, 6, 9});
    ProcessingOptions::Binning b = time_bins(0.5);
    b.min_count = 1;
    const ProductTable out = bin_products(t, b);
    expect_values(out.time, {250, 750, 1250});
    EXPECT_EQ(out.n, (std::vector<int>{2, 2, 1}));
    expect_values(column(out.a, 2, 0), {1.5, 5.5, 9});
}

TEST(BinStatistics, MedianOfAnEvenCountMeanAndSampleDeviation) {
    ProductTable t = records({0, 1000, 2000, 3000}, {4, 1, 3, 10});
    ProcessingOptions::Binning b = time_bins(60);
    const ProductTable median = bin_products(t, b);
    expect_values(column(median.a, 2, 0), {3.5});
    expect_values(column(median.a_sd, 2, 0), {std::sqrt(15.0)}); // 45 / (4 - 1)
    b.stat = BinStat::Mean;
    const ProductTable mean = bin_products(t, b);
    expect_values(column(mean.a, 2, 0), {4.5});
    expect_values(column(mean.a_sd, 2, 0), {std::sqrt(15.0)});
}

// Bins large enough to be partitioned: noise, few distinct values, values in and against order.
TEST(BinStatistics, MedianOfLargeBinsAgreesWithSorting) {
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.2, 0.01);
    for (std::size_t size : {17u, 18u, 240u, 241u, 1000u}) {
        for (int pattern = 0; pattern < 4; ++pattern) {
            Values time, a0;
            for (std::size_t n = 0; n < size; ++n) {
                time.push_back(50.0 * n);
                const double v = pattern == 0   ? noise(rng)
                                 : pattern == 1 ? static_cast<double>(rng() % 4)
                                 : pattern == 2 ? 0.001 * n
                                                : -0.001 * n;
                a0.push_back(v);
            }
            Values sorted = a0;
            std::sort(sorted.begin(), sorted.end());
            const double want =
                size % 2 == 1 ? sorted[size / 2] : (sorted[size / 2 - 1] + sorted[size / 2]) / 2;
            const ProductTable out = bin_products(records(time, a0), time_bins(60));
            ASSERT_EQ(out.rows(), 1u);
            EXPECT_EQ(out.a[0], want) << size << " values, pattern " << pattern;
        }
    }
}

TEST(BinStatistics, MinimumCountAndFewerThanTwoValues) {
    ProductTable t = records({0, 1000, 2000}, {1, kNaN, 3});
    ProcessingOptions::Binning b = time_bins(60);
    ProductTable out = bin_products(t, b); // two values, three needed
    expect_values(column(out.a, 2, 0), {kNaN});
    expect_values(column(out.a_sd, 2, 0), {kNaN});
    EXPECT_EQ(column(out.a_n, 2, 0), std::vector<int>{2});
    EXPECT_EQ(out.n, std::vector<int>{3});
    b.min_count = 2;
    out = bin_products(t, b);
    expect_values(column(out.a, 2, 0), {2});
    expect_values(column(out.a_sd, 2, 0), {std::sqrt(2.0)});
    // One value: the value, no deviation.
    b.min_count = 1;
    out = bin_products(records({0}, {7}), b);
    expect_values(column(out.a, 2, 0), {7});
    expect_values(column(out.a_sd, 2, 0), {kNaN});
}

TEST(BinStatistics, FlaggedValuesAreLeftOut) {
    ProductTable t = records({0, 1000, 2000, 3000, 4000, 5000}, {1, 5, 3, 100, 200, 7});
    // a channel 0: pass, suspect, pass, fail, missing, not evaluated; the others all pass.
    t.a_flags = {1, 1, 3, 1, 1, 1, 4, 1, 9, 1, 2, 1};
    t.c_flags.assign(6, qc_flag::kPass);
    t.flag.assign(6, qc_flag::kPass);
    ProcessingOptions::Binning b = time_bins(60);
    ProductTable out = bin_products(t, b);
    expect_values(column(out.a, 2, 0), {4}); // 1 5 3 7
    EXPECT_EQ(column(out.a_n, 2, 0), std::vector<int>{4});
    EXPECT_EQ(column(out.a_n, 2, 1), std::vector<int>{6});
    // A binned value is flagged by what went into it: the suspect value makes it suspect, and
    // the bin takes the worst flag of its window.
    EXPECT_EQ(out.a_flags, (std::vector<std::uint8_t>{3, 1}));
    EXPECT_EQ(out.c_flags, std::vector<std::uint8_t>{1});
    EXPECT_EQ(out.flag, std::vector<std::uint8_t>{3});
    b.exclude_suspect = true;
    out = bin_products(t, b);
    expect_values(column(out.a, 2, 0), {3}); // 1 3 7
    EXPECT_EQ(column(out.a_n, 2, 0), std::vector<int>{3});
    EXPECT_EQ(out.a_flags, (std::vector<std::uint8_t>{1, 1}));
    EXPECT_EQ(out.flag, std::vector<std::uint8_t>{1});
    // Too few values left: the value is missing, which makes the bin suspect.
    b.min_count = 4;
    out = bin_products(t, b);
    EXPECT_EQ(out.a_flags, (std::vector<std::uint8_t>{9, 1}));
    EXPECT_EQ(out.flag, std::vector<std::uint8_t>{3});
}

TEST(BinStatistics, ColumnsThatDoNotMatchTheRowsAreRefused) {
    ProductTable t = records({0, 1000, 2000}, {1, 2, 3});
    t.a_flags.assign(5, qc_flag::kPass); // three records of two channels need six
    EXPECT_EQ(error_of([&] { bin_products(t, time_bins(60)); }),
              "The product table's columns do not match its rows.");
}

TEST(BinStatistics, WithoutFlagsValuesThatAreNotFiniteAreLeftOut) {
    const double inf = std::numeric_limits<double>::infinity();
    ProductTable t = records({0, 1000, 2000, 3000, 4000}, {1, kNaN, 3, inf, 8});
    const ProductTable out = bin_products(t, time_bins(60));
    expect_values(column(out.a, 2, 0), {3});
    EXPECT_EQ(column(out.a_n, 2, 0), std::vector<int>{3});
}

// A ship crossing 180 degrees: the mean position lies on the 180 degree line, not at 0.
TEST(BinStatistics, LongitudesAcross180AreAveragedTheShortWay) {
    ProductTable t = records({0, 1000, 2000, 3000, 70000, 71000}, {1, 2, 3, 4, 5, 6});
    t.lat.assign(6, 10.0);
    t.lon = {179.8, 179.9, -179.9, -179.6, -179.0, 179.0};
    ProcessingOptions::Binning b = time_bins(60);
    b.min_count = 1;
    const ProductTable out = bin_products(t, b);
    ASSERT_EQ(out.lon.size(), 2u);
    EXPECT_NEAR(out.lon[0], -179.95, 1e-9); // (179.8 + 179.9 + 180.1 + 180.4) / 4 = 180.05

    EXPECT_NEAR(out.lon[1], -180.0, 1e-9);
}

TEST(BinStatistics, CtdGpsAndResidualColumnsAreMeansOfTheFiniteValues) {
    ProductTable t = records({0, 1000, 2000, 70000}, {1, 2, 3, 4});
    t.temperature = {10, kNaN, 12, kNaN};
    t.salinity = {30, 31, 32, 33};
    t.pressure = {1, 2, 3, 4};
    t.lat = {54.0, 54.5, 55.0, 56.0};
    t.lon = {10.0, 10.5, 11.0, 12.0};
    t.dT = {0.1, 0.2, 0.6, 0.3};
    t.chl = {1, 1, 1, 1};
    ProcessingOptions::Binning b = time_bins(60);
    b.min_count = 1;
    const ProductTable out = bin_products(t, b);
    expect_values(out.temperature, {11, kNaN});
    expect_values(out.salinity, {31, 33});
    expect_values(out.pressure, {2, 4});
    expect_values(out.lat, {54.5, 56.0});
    expect_values(out.lon, {10.5, 12.0});
    expect_values(out.dT, {0.3, 0.3});
    EXPECT_TRUE(out.chl.empty());
    EXPECT_TRUE(out.depth.empty());
    // Columns the records lack stay absent.
    const ProductTable plain = bin_products(records({0, 1000}, {1, 2}), b);
    EXPECT_FALSE(plain.has_ctd() || plain.has_gps());
    EXPECT_TRUE(plain.dT.empty());
}

// A cast of eight records, 250 ms apart, down to 2.5 dbar at record 3 and back up, with one
// record without pressure on the way up.
class DepthBins : public ::testing::Test {
  protected:
    ProductTable t = records({0, 250, 500, 750, 1000, 1250, 1500, 1750}, {1, 2, 3, 4, 5, 6, 7, 8});
    ProcessingOptions::Binning b;

    void SetUp() override {
        t.pressure = {0.4, 0.9, 1.6, 2.5, 1.7, 0.6, kNaN, 0.2};
        t.temperature = Values(8, 15.0);
        t.salinity = Values(8, 20.0);
        b.kind = BinKind::Depth;
        b.width = 1.0;
        b.min_count = 1;
    }
};

TEST_F(DepthBins, DownUpAndBothCasts) {
    struct Case {
        CastDirection direction;
        Values depth, time;
        std::vector<int> n;
        Values median, pressure;
    } const cases[] = {
        // records 0 1 | 2 | 3
        {CastDirection::Down,
         {0.5, 1.5, 2.5},
         {125, 500, 750},
         {2, 1, 1},
         {1.5, 3, 4},
         {0.65, 1.6, 2.5}},
        // records 5 7 | 4
        {CastDirection::Up, {0.5, 1.5}, {1500, 1000}, {2, 1}, {7, 5}, {0.4, 1.7}},
        // records 0 1 5 7 | 2 4 | 3
        {CastDirection::Both,
         {0.5, 1.5, 2.5},
         {812.5, 750, 750},
         {4, 2, 1},
         {4, 4, 4},
         {0.525, 1.65, 2.5}},
    };
    for (const Case& k : cases) {
        b.direction = k.direction;
        const ProductTable out = bin_products(t, b);
        EXPECT_EQ(out.bin_kind, BinKind::Depth);
        expect_values(out.depth, k.depth);
        expect_values(out.time, k.time);
        EXPECT_EQ(out.n, k.n);
        expect_values(column(out.a, 2, 0), k.median);
        expect_values(out.pressure, k.pressure);
    }
}

TEST_F(DepthBins, NegativePressureFallsInTheBinAboveTheSurface) {
    t.pressure[0] = -0.3;
    b.direction = CastDirection::Down;
    const ProductTable out = bin_products(t, b);
    expect_values(out.depth, {-0.5, 0.5, 1.5, 2.5});
    EXPECT_EQ(out.n, (std::vector<int>{1, 1, 1, 1}));
}

TEST_F(DepthBins, RefusedWithoutPressureAndWithAWidthThatIsNotPositive) {
    ProductTable no_ctd = records({0, 250}, {1, 2});
    EXPECT_EQ(error_of([&] { bin_products(no_ctd, b); }),
              "Depth bins need the pressure of a merged CTD.");
    for (double w : {0.0, -1.0, kNaN}) {
        b.width = w;
        EXPECT_EQ(error_of([&] { bin_products(t, b); }), "The bin width must be positive.");
    }
}

// Sets how the work is shared out over threads for one scope.
class ThreadsScope {
  public:
    explicit ThreadsScope(unsigned threads) : saved_(parallel::tuning()) {
        parallel::tuning().threads = threads;
        parallel::tuning().min_part_records = 1;
    }
    ~ThreadsScope() { parallel::tuning() = saved_; }

  private:
    parallel::Tuning saved_;
};

TEST(QcAndBins, OneThreadGivesWhatSeveralGive) {
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, 0.01);
    const std::size_t rows = 3000, channels = 7;
    ProductTable t;
    for (std::size_t i = 0; i < channels; ++i)
        t.a_wavelengths.push_back(380.0 + 60.0 * i);
    t.c_wavelengths = t.a_wavelengths;
    t.common_grid = true;
    for (std::size_t n = 0; n < rows; ++n) {
        t.time.push_back(250.0 * n + (n % 500 == 0 ? 5000.0 : 0.0));
        t.dT.push_back(noise(rng) * 200);
        const bool stuck = (n / 100) % 3 == 0;
        for (std::size_t i = 0; i < channels; ++i) {
            const double a = stuck ? 0.1 : 0.1 + noise(rng), c = stuck ? 0.08 : 0.5 + noise(rng);
            t.a.push_back(rng() % 200 == 0 ? kNaN : a);
            t.c.push_back(c);
        }
    }
    ProcessingOptions::Binning b = time_bins(30);
    b.exclude_suspect = true;
    auto products = [&](unsigned threads) {
        ThreadsScope scope(threads);
        ProductTable flagged = t;
        apply_qc(flagged, ProcessingOptions::Qc{});
        return std::pair{flagged, bin_products(flagged, b)};
    };
    const auto [flags1, bins1] = products(1);
    const auto [flags3, bins3] = products(3);
    EXPECT_EQ(flags1.a_flags, flags3.a_flags);
    EXPECT_EQ(flags1.c_flags, flags3.c_flags);
    EXPECT_EQ(flags1.flag, flags3.flag);
    for (std::uint8_t f : {qc_flag::kPass, qc_flag::kSuspect, qc_flag::kFail, qc_flag::kMissing})
        EXPECT_NE(std::count(flags1.a_flags.begin(), flags1.a_flags.end(), f), 0) << int(f);
    EXPECT_EQ(bins1.a_n, bins3.a_n);
    EXPECT_EQ(bins1.c_n, bins3.c_n);
    for (std::size_t k = 0; k < bins1.a.size(); ++k) {
        EXPECT_TRUE(test_util::near_rel(bins1.a[k], bins3.a[k], 0.0)) << k;
        EXPECT_TRUE(test_util::near_rel(bins1.a_sd[k], bins3.a_sd[k], 0.0)) << k;
    }
}

} // namespace
