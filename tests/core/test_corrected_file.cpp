// The corrected output file: its header, its record lines, and opening it again.
#include "files_test_util.h"

using namespace files_test;

namespace {

class CorrectedFile : public ScratchDir {};

void fill_corrected(HYP_Data& d) {
    d.corrected_records.clear();
    for (std::size_t i = 0; i < d.records.size(); ++i)
        d.corrected_records.push_back(d.correct_one_line(i));
}

} // namespace

TEST_F(CorrectedFile, HeaderForConstantTemperature) {
    HYP_Data d;
    d.load_file(fixture("hyp_small.dat"), false);
    d.do_temp = true;
    d.const_temp = 21;
    d.save_corrected(path("c.dat"), true, false);
    const auto lines = split_lines(read_text(path("c.dat")));
    const std::vector<std::string> header = {
        "Output of hyp/flw data",
        "File created by Velmora version 2.0",
        "This file was created from the following files:",
        "HYP file: " + fixture("hyp_small.dat"),
        "No CTD file used.",
        "No Water file used.",
        "",
        "",
        "Factory Calibration temperature: 21.5",
        "",
        "Using constant temperature 21.0 degrees.",
        "Using constant salinity 0.0 psu.",
        "Temperature correction applied.",
        "",
        "",
        "",
        "",
        "3\t\t ; number of wavelengths",
        "",
        "",
        "Time(ms)\tc400.2\tc650.1\tc715.4\ta400.5\ta650.3\ta714.9\t",
    };
    ASSERT_EQ(lines.size(), 24u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 21), header);
    // T = Tf - 0.5: the first record on line 22, without CTD columns.
    const hyp_data r = d.correct_one_line(0);
    std::string expected = "250\t";
    for (const double v : r.c_values)
        expected += text_g10(v) + "\t";
    for (const double v : r.a_values)
        expected += text_g10(v) + "\t";
    EXPECT_EQ(lines[21], expected);
}

TEST_F(CorrectedFile, HeaderWithCtdWaterScatteringAndChl) {
    HYP_Data d;
    d.load_file(fixture("hyp_small.dat"), false);
    d.load_file(fixture("hyp_small.dat"), true);
    d.ctd_file.read_ctd_file(fixture("ctd_small.txt"), 1, 3, 5, 2);
    d.merge_ctd();
    d.temp_source = TempSource::CTD;
    d.saln_source = SalnSource::CTD;
    d.do_water = true;
    d.do_scat = true;
    d.scat_method = ScatMethod::Baseline;
    d.scat_no_negative = true;
    fill_corrected(d);
    d.save_corrected(path("c.dat"), true, true);
    const auto lines = split_lines(read_text(path("c.dat")));
    EXPECT_EQ(lines[4], "CTD file: " + fixture("ctd_small.txt"));
    EXPECT_EQ(lines[5], "Water file: " + fixture("hyp_small.dat"));
    EXPECT_EQ(lines[9], "Field Water Calibration temperature: -1");
    EXPECT_EQ(lines[10], "Using CTD file for temperature.");
    EXPECT_EQ(lines[11], "Using CTD file for salinity.");
    EXPECT_EQ(lines[12], "");
    EXPECT_EQ(lines[14], "Water file subtraction applied.");
    EXPECT_EQ(lines[15], "Scattering correction by baseline subtraction applied at 714.9 nm");
    EXPECT_EQ(lines[16], "Scattering corrections resulting in negative values not applied.");
    EXPECT_EQ(lines[18], "Calculated ChlA by ( a(650.3) - a(650.3) ) / c(650.1)");
    EXPECT_EQ(
        lines[20],
        "Time(ms)\tc400.2\tc650.1\tc715.4\ta400.5\ta650.3\ta714.9\ttemp\tsaln\tpres\tChl_a\t");
    // Record lines end with the merged CTD values and the ChlA value.
    const ctd_struct& e = d.ctd_list.samples[1];
    const std::string tail = text_g10(e.temperature) + "\t" + text_g10(e.salinity) + "\t" +
                             text_g10(e.pressure) + "\t" + text_g10(d.chl_ratio(1)) + "\t";
    ASSERT_GE(lines[22].size(), tail.size());
    EXPECT_EQ(lines[22].substr(lines[22].size() - tail.size()), tail);
}

TEST_F(CorrectedFile, ScatteringSentenceNamesTheMethodApplied) {
    struct Case {
        ScatMethod method;
        std::string line16, line17;
    };
    const std::string no_negative =
        "Scattering corrections resulting in negative values not applied.";
    const Case cases[] = {
        {ScatMethod::Baseline, "Scattering correction by baseline subtraction applied at 714.9 nm",
         no_negative},
        {ScatMethod::Proportional,
         "Scattering correction by proportional subtraction applied at 714.9 nm", no_negative},
        {ScatMethod::FractionOfB, "Scattering correction by a fixed fraction of b (14 %) applied.",
         no_negative},
        {static_cast<ScatMethod>(0), "", ""}, // no method chosen: no term, no sentence
    };
    HYP_Data d;
    d.load_file(fixture("hyp_small.dat"), false);
    d.do_scat = true;
    d.scat_no_negative = true;
    for (const Case& c : cases) {
        d.scat_method = c.method;
        std::ostringstream out;
        d.write_corrected_header(out, false, false);
        const auto lines = split_lines(out.str());
        ASSERT_EQ(lines.size(), 21u);
        EXPECT_EQ(lines[15], c.line16);
        EXPECT_EQ(lines[16], c.line17);
    }
}

TEST_F(CorrectedFile, CtdColumnsOnlyWhenMerged) {
    HYP_Data d;
    d.load_file(fixture("flw_small.dat"), false);
    d.save_corrected(path("c.dat"), true, false);
    const auto lines = split_lines(read_text(path("c.dat")));
    // FLW: ascending channels, all c columns first.
    EXPECT_EQ(lines[20], "Time(ms)\tc412\tc440\tc488\tc510\tc532\tc555\tc650\tc676\tc715\t"
                         "a412\ta440\ta488\ta510\ta532\ta555\ta650\ta676\ta715\t");
    EXPECT_EQ(lines[21], "100\t1.01\t1.02\t1.03\t1.04\t1.05\t1.06\t1.07\t1.08\t1.09\t"
                         "0.01\t0.02\t0.03\t0.04\t0.05\t0.06\t0.07\t0.08\t0.09\t");
}

TEST_F(CorrectedFile, SavedFileOpensAgainWithTheSameValues) {
    HYP_Data d;
    d.load_file(fixture("hyp_small.dat"), false);
    d.ctd_file.read_ctd_file(fixture("ctd_small.txt"), 1, 3, 5, 2);
    d.merge_ctd();
    d.do_temp = true;
    d.const_temp = 25;
    d.do_scat = true;
    d.scat_method = ScatMethod::Proportional;
    fill_corrected(d);
    d.save_corrected(path("first.dat"), true, false);

    HYP_Data p;
    p.load_file(path("first.dat"), false);
    EXPECT_EQ(p.instrument_type, InstrumentType::Processed);
    EXPECT_TRUE(p.is_processed);
    EXPECT_EQ(p.a_wavelengths, d.a_wavelengths);
    EXPECT_EQ(p.c_wavelengths, d.c_wavelengths);
    expect_same_records(p.records, d.corrected_records);
    // The CTD columns come back as the per-record temperature and pressure.
    ASSERT_EQ(p.onboard_list.samples.size(), 3u);
    EXPECT_NEAR_REL(p.onboard_list.samples[2].temperature, d.ctd_list.samples[2].temperature);
    EXPECT_NEAR_REL(p.onboard_list.samples[2].pressure, d.ctd_list.samples[2].pressure);

    // Correcting it again is refused: its header would claim corrections that were not applied.
    p.do_temp = true;
    p.const_temp = 5;
    EXPECT_EQ(error_of([&] { p.save_corrected(path("second.dat"), true, false); }),
              "This file is already corrected; correct the instrument data file instead.");
    EXPECT_FALSE(std::filesystem::exists(path("second.dat")));
}

TEST_F(CorrectedFile, UnknownSourcesAreRefused) {
    HYP_Data d;
    d.load_file(fixture("hyp_small.dat"), false);
    d.temp_source = static_cast<TempSource>(0);
    EXPECT_EQ(error_of([&] { d.save_corrected(path("c.dat"), false, false); }),
              "Temperature source not recognized.");
    d.temp_source = TempSource::Fitted;
    d.saln_source = static_cast<SalnSource>(5);
    EXPECT_EQ(error_of([&] { d.save_corrected(path("c.dat"), false, false); }),
              "Salinity source not recognized.");
    EXPECT_TRUE(entries().empty());
}

TEST_F(CorrectedFile, WrittenValuesFollowTheCurrentSettings) {
    HYP_Data d;
    d.load_file(fixture("hyp_small.dat"), false);
    d.do_temp = true;
    d.const_temp = 30;
    fill_corrected(d);
    d.save_corrected(path("filled.dat"), false, false);
    // Settings changed after the corrected records were kept: the file follows the settings.
    d.const_temp = 10;
    d.save_corrected(path("changed.dat"), false, false);
    d.corrected_records.clear();
    d.save_corrected(path("fresh.dat"), false, false);
    EXPECT_EQ(read_text(path("changed.dat")), read_text(path("fresh.dat")));
    EXPECT_NE(read_text(path("filled.dat")), read_text(path("fresh.dat")));
    const auto lines = split_lines(read_text(path("fresh.dat")));
    const hyp_data r = d.correct_one_line(1);
    EXPECT_EQ(lines[22].rfind("500\t" + text_g10(r.c_values[0]) + "\t", 0), 0u);
}
