// ProcessingOptions: setting a data set, reading it back, the panels' mappings and the recipe.
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "hyp_data.h"
#include "processing_options.h"
#include "test_util.h"

namespace {

using test_util::error_of;

// Every option away from its default.
ProcessingOptions unusual() {
    ProcessingOptions o;
    o.temperature = {TempSource::Onboard, 12.25, true};
    o.salinity = {SalnSource::CTD, 34.5, true};
    o.ctd.file = "casts/ctd 1.txt";
    o.ctd.columns = {4, 3, 2, 1};
    o.water = {"bath.wcf", true};
    o.scattering.apply = true;
    o.scattering.method = ScatMethod::FractionOfB;
    o.scattering.reference_nm = 700.5;
    o.scattering.no_negative = true;
    o.output.chl_column = true;
    return o;
}

class Options : public ::testing::Test {
  protected:
    HYP_Data d;

    void SetUp() override {
        d.instrument_type = InstrumentType::HYP;
        d.a_wavelengths = {650.1, 700.0, 714.9, 730.2};
        d.c_wavelengths = {650.3, 700.2, 715.6, 730.0};
        for (int j = 0; j < 3; ++j) {
            d.records.push_back({250.0 * j, {0.1, 0.2, 0.3, 0.4}, {0.5, 0.6, 0.7, 0.8}});
            d.onboard_list.samples.push_back({0.0, 1.0, 0.0, 11.5 + j});
        }
    }
};

TEST_F(Options, ApplyThenReadBackGivesTheSameOptions) {
    ProcessingOptions o = unusual();
    o.scattering.reference_nm = 714.9; // a channel, so the chosen one reads back the same
    d.ctd_merged = true;
    d.ctd_file.source_file = o.ctd.file;
    d.water_loaded = true;
    d.water_file_name = o.water.file;
    EXPECT_EQ(o.apply_to(d), 714.9);
    EXPECT_EQ(d.temp_source, TempSource::Onboard);
    EXPECT_EQ(d.scat_method, ScatMethod::FractionOfB);
    EXPECT_EQ(d.scat_ref_a, 2u);
    EXPECT_EQ(d.scat_ref_c, 2u);

    ProcessingOptions back = ProcessingOptions::from(d);
    // The data set keeps neither the CTD columns nor the ChlA column.
    EXPECT_EQ(back.ctd.columns, ProcessingOptions::CtdColumns{});
    EXPECT_FALSE(back.output.chl_column);
    back.ctd.columns = o.ctd.columns;
    back.output = o.output;
    EXPECT_EQ(back, o);
}

TEST_F(Options, ApplyReturnsTheWavelengthOfTheNearestChannel) {
    ProcessingOptions o;
    o.scattering.reference_nm = 720.0;
    EXPECT_EQ(o.apply_to(d), 714.9);
    EXPECT_EQ(ProcessingOptions::from(d).scattering.reference_nm, 714.9);
}

TEST_F(Options, ANewDataSetReadsAsTheDefaultsWithItsConstants) {
    // No method chosen (0) and no reference channel read as the defaults.
    HYP_Data fresh;
    ProcessingOptions expected;
    expected.temperature.constant = 0.0;
    expected.salinity.constant = 0.0;
    EXPECT_EQ(ProcessingOptions::from(fresh), expected);
}

TEST_F(Options, OnboardSourceNeedsAnOnboardTemperature) {
    ProcessingOptions o;
    o.temperature.source = TempSource::Onboard;
    o.scattering.apply = true;
    EXPECT_EQ(error_of([&] { o.apply_to(d); }), "");

    // A record that reads 0 among others that do not is corrected at 0 degrees.
    d.onboard_list.samples[0].temperature = 0.0;
    d.onboard_list.samples[1].temperature = 0.0;
    EXPECT_EQ(error_of([&] { o.apply_to(d); }), "");
    EXPECT_EQ(error_of([&] { d.fill_corrected_records(); }), "");

    // A file without the column reads 0 for every record.
    for (ctd_struct& e : d.onboard_list.samples)
        e.temperature = 0.0;
    EXPECT_EQ(error_of([&] { d.correct_one_line(0); }),
              "This data file holds no onboard temperature.");
    d.do_scat = false;
    d.temp_source = TempSource::Constant;
    EXPECT_EQ(error_of([&] { o.apply_to(d); }), "This data file holds no onboard temperature.");
    EXPECT_EQ(d.temp_source, TempSource::Constant);
    EXPECT_FALSE(d.do_scat);

    d.onboard_list.samples.clear(); // acquired or replayed records have no onboard list
    EXPECT_EQ(error_of([&] { o.apply_to(d); }), "This data file holds no onboard temperature.");
}

TEST(OptionsPanels, ScatteringListIndices) {
    struct Case {
        int index;
        ScatMethod method;
    };
    const Case cases[] = {
        {0, ScatMethod::Proportional}, {1, ScatMethod::Baseline}, {2, ScatMethod::FractionOfB}};
    for (const Case& c : cases) {
        EXPECT_EQ(ProcessingOptions::method_for_list_index(c.index, ScatMethod::Baseline),
                  c.method);
        EXPECT_EQ(ProcessingOptions::list_index_for_method(c.method), c.index);
    }
    // No item chosen (-1) or typed text: the method stays.
    EXPECT_EQ(ProcessingOptions::method_for_list_index(-1, ScatMethod::FractionOfB),
              ScatMethod::FractionOfB);
    EXPECT_EQ(ProcessingOptions::method_for_list_index(3, ScatMethod::Baseline),
              ScatMethod::Baseline);
}

TEST(OptionsPanels, ReferenceSteppingStopsAtBothEnds) {
    const std::vector<double> wl = {700.0, 715.5, 716.0};
    struct Case {
        std::uint32_t ref;
        bool up;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {0, true, 715.5},
        {1, true, 716.0},
        {2, true, 716.0},
        {2, false, 715.5},
        {0, false, 700.0},
        {3, true, std::nullopt},
        {999999, false, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProcessingOptions::stepped_reference(wl, c.ref, c.up), c.expected)
            << c.ref << (c.up ? " up" : " down");
    EXPECT_EQ(ProcessingOptions::wavelength_text(715.5), "715.5");
    EXPECT_EQ(ProcessingOptions::wavelength_text(716.0), "716");
}

TEST(Recipe, WritesAndReadsBackEveryOption) {
    const ProcessingOptions o = unusual();
    ProcessingOptions back;
    back.read_json(o.to_json());
    EXPECT_EQ(back, o);
    // The defaults too, and the names a person reads.
    const std::string text = ProcessingOptions{}.to_json();
    EXPECT_NE(text.find("\"method\": \"proportional\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"reference_nm\": 715.0"), std::string::npos) << text;
    back.read_json(text);
    EXPECT_EQ(back, ProcessingOptions{});
}

TEST(Recipe, FileNamesThatAreNotUtf8AreRefusedNotMangled) {
    ProcessingOptions o;
    o.ctd.file = "cast\xe9.txt"; // Latin-1
    EXPECT_THROW(o.to_json(), VelmoraError);
}

TEST(Recipe, KeysNotGivenKeepTheirValues) {
    ProcessingOptions o = unusual();
    o.read_json(R"({"scattering": {"method": "baseline"}, "temperature": {"constant": -1.5}})");
    ProcessingOptions expected = unusual();
    expected.scattering.method = ScatMethod::Baseline;
    expected.temperature.constant = -1.5;
    EXPECT_EQ(o, expected);
}

TEST(Recipe, RefusedRecipesSayWhyAndChangeNothing) {
    struct Case {
        const char* json;
        const char* error;
    };
    const Case cases[] = {
        {R"({"scatering": {}})", "Unknown recipe key: scatering"},
        {R"({"scattering": {"apply": true, "methd": "baseline"}})",
         "Unknown recipe key: scattering.methd"},
        {R"({"ctd": {"columns": {"depth": 4}}})", "Unknown recipe key: ctd.columns.depth"},
        {R"({"scattering": {"method": "fraction_of_b"}})",
         "Recipe key scattering.method is proportional, baseline or fraction, not "
         "'fraction_of_b'."},
        {R"({"temperature": {"constant": "21"}})",
         "Recipe key temperature.constant needs a number."},
        {R"({"salinity": {"constant": 1e999}})", "The recipe holds a number too large to be read."},
        {R"({"water": {"apply": 1}})", "Recipe key water.apply needs true or false."},
        {R"({"ctd": {"columns": {"time": 0}}})",
         "Recipe key ctd.columns.time needs a column number from 1 up."},
        {R"({"salinity": 17})", "Recipe key salinity needs an object of keys."},
        {R"({"velmora_recipe": 2})", "Recipe key velmora_recipe: this program reads version 1."},
        {R"([1, 2])", "A recipe is one JSON object of keys."},
        {R"({"temperature": {"constant": 21,}})",
         "The recipe is not valid JSON (at character 33)."},
    };
    for (const Case& c : cases) {
        ProcessingOptions o = unusual();
        try {
            o.read_json(c.json);
            ADD_FAILURE() << "accepted " << c.json;
        } catch (const RecipeError& e) {
            EXPECT_STREQ(e.what(), c.error) << c.json;
        }
        EXPECT_EQ(o, unusual()) << c.json;
    }
}

} // namespace
