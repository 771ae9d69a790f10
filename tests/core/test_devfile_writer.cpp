// Device files rebuilt from a selection: offsets moved by the selection's mean corrected values.
#include "files_test_util.h"

using namespace files_test;

namespace {

class DevfileWriter : public ScratchDir {};

} // namespace

TEST_F(DevfileWriter, HypOffsetsMovedByTheMeans) {
    HYP_Data d;
    d.load_file(fixture("hyp_small.dat"), false);
    d.records = {{0, {0.004, 0.0, 0.0}, {0.003, 0.0, 0.0}},
                 {1, {0.005, 0.0, 0.0}, {0.0038, 0.0, 0.0}}};
    d.save_devfile(path("new.dev"), {0, 1});
    const auto lines = split_lines(read_text(path("new.dev")));
    ASSERT_EQ(lines.size(), 14u);
    for (std::size_t i = 0; i < 10; ++i)
        EXPECT_EQ(lines[i], d.header_lines[i]);
    const std::string rest = "0.001\t0.002\t0.003\t0.004\t; C and A offset, and C and A "
                             "temperature correction info";
    EXPECT_EQ(lines[10], "C400.2\tA400.5\t0\t0.12\t0.23\t\t" + rest);
    // Channels already at zero keep their offsets.
    EXPECT_EQ(lines[11], "C650.1\tA650.3\t0\t0.2\t0.3\t\t" + rest);
    EXPECT_EQ(lines[13], "0\t0\t0\t; maxANoise maxCNoise maxADrift maxCDrift");
}

TEST_F(DevfileWriter, FlwLinesKeepTheirOrderAndGetTheirOwnChannel) {
    HYP_Data d;
    d.load_file(fixture("flw_small.dat"), false);
    for (auto& r : d.records) {
        for (std::size_t k = 0; k < 9; ++k) {
            r.c_values[k] = 0.001 * static_cast<double>(k + 1);
            r.a_values[k] = 0.01 * static_cast<double>(k + 1);
        }
    }
    d.save_devfile(path("new.dev"), {1});
    const auto lines = split_lines(read_text(path("new.dev")));
    ASSERT_EQ(lines.size(), 29u);
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_EQ(lines[i], d.header_lines[i]);
    EXPECT_EQ(lines[9], "C412\t11\t0.011\t\t0.001\t0.002\t; c412");
    EXPECT_EQ(lines[10], "A412\t12\t0.012\t\t0.001\t0.002\t; a412");
    EXPECT_EQ(lines[11], "C488\t13\t0.029\t\t0.001\t0.002\t; c488");
    EXPECT_EQ(lines[12], "A440\t14\t0.022\t\t0.001\t0.002\t; a440");
    EXPECT_EQ(lines[13], "C440\t15\t0.05\t\t0.001\t0.002\t; c440");
    EXPECT_EQ(lines[21], "C650\t23\t0.125\t\t0.001\t0.002\t; c650");
    EXPECT_EQ(lines[27], "0\t0\t; trailing line 1");
    EXPECT_EQ(lines[28], "0\t0\t; trailing line 2");
}

TEST_F(DevfileWriter, RefusedWithoutDeviceLinesOrType) {
    HYP_Data flw;
    flw.load_file(fixture("flw_small.dat"), false);
    flw.header_lines.resize(9); // as an FLW data file without its column lines would give
    EXPECT_EQ(error_of([&] { flw.save_devfile(path("a.dev"), {0}); }),
              "Device file lines are not available for this data set.");

    HYP_Data hyp;
    hyp.load_file(fixture("hyp_small.dat"), false);
    EXPECT_EQ(error_of([&] { hyp.save_devfile(path("b.dev"), {}); }), "No records selected.");
    hyp.instrument_type = InstrumentType::Processed;
    EXPECT_EQ(error_of([&] { hyp.save_devfile(path("c.dev"), {0}); }),
              "Unable to determine file type!  This should not happen.");
    EXPECT_TRUE(entries().empty());
}
