// CTD logs: reading the chosen columns and merging the samples into the records by time.
#include "files_test_util.h"

using namespace files_test;

namespace {

class Ctd : public ScratchDir {};

void add_records(HYP_Data& d, const std::vector<double>& times) {
    for (const double t : times) {
        d.records.push_back({t, {0.0}, {0.0}});
        d.ctd_list.samples.push_back({});
    }
}

std::vector<ctd_struct> samples_at(const std::vector<double>& times) {
    std::vector<ctd_struct> s;
    for (std::size_t i = 0; i < times.size(); ++i)
        s.push_back({times[i], static_cast<double>(i), 0.0, 0.0}); // pressure = sample number
    return s;
}

} // namespace

TEST_F(Ctd, ReadsChosenColumns) {
    CTD_Data c;
    c.samples.push_back({1, 2, 3, 4}); // samples read earlier stay in front
    c.read_ctd_file(fixture("ctd_small.txt"), 1, 3, 5, 2);
    EXPECT_EQ(c.source_file, fixture("ctd_small.txt"));
    // Two header lines; a blank line and the trailing empty line add nothing.
    ASSERT_EQ(c.samples.size(), 5u);
    const ctd_struct& s = c.samples[1];
    EXPECT_EQ(s.time, 120);
    EXPECT_EQ(s.pressure, 7.5);
    EXPECT_EQ(s.temperature, 12.1);
    EXPECT_EQ(s.salinity, 34.2);
    // Columns beyond the line's last field keep the previous line's value.
    EXPECT_EQ(c.samples[2].time, 400);
    EXPECT_EQ(c.samples[2].temperature, 12.3);
    EXPECT_EQ(c.samples[2].salinity, 34.2);
    EXPECT_EQ(c.samples[3].salinity, 34.5);
    // A letter inside the data is read as data; a field without a number gives 0.
    EXPECT_EQ(c.samples[4].time, 1000);
    EXPECT_EQ(c.samples[4].pressure, 0);
    EXPECT_EQ(c.samples[4].temperature, 12.5);

    // One field may serve several columns.
    CTD_Data twice;
    twice.read_ctd_file(fixture("ctd_small.txt"), 1, 1, 3, 3);
    EXPECT_EQ(twice.samples[0].temperature, 120);
    EXPECT_EQ(twice.samples[0].pressure, 12.1);

    EXPECT_EQ(error_of([&] { twice.read_ctd_file(path("missing.txt"), 1, 3, 5, 2); }),
              "Unable to open file.");
    EXPECT_EQ(twice.samples.size(), 4u);
    EXPECT_EQ(twice.source_file, fixture("ctd_small.txt"));
}

TEST_F(Ctd, CrlfLogReadsLikeLfLog) {
    write_text(path("crlf.txt"),
               join_lines(split_lines(read_text(fixture("ctd_small.txt"))), "\r\n"));
    CTD_Data lf, crlf;
    lf.read_ctd_file(fixture("ctd_small.txt"), 1, 3, 5, 2);
    crlf.read_ctd_file(path("crlf.txt"), 1, 3, 5, 2);
    expect_same_entries(crlf.samples, lf.samples);
}

TEST(CtdMerge, NearestSampleInOneForwardPass) {
    struct Case {
        std::vector<double> records;
        std::vector<double> samples;
        std::vector<double> chosen; // sample number per record
    };
    const std::vector<Case> cases = {
        {{0, 250, 500, 750, 1000}, {100, 1100, 2100}, {0, 0, 0, 1, 1}},
        {{500}, {0, 1000}, {0}},                      // half-way: the earlier
        {{-50, 5000}, {0, 1000, 2000}, {0, 2}},       // before the first, after the last
        {{100, 100}, {100, 100, 100}, {0, 0}},        // equal times: the first
        {{0, 900, 2000}, {2000, 0, 1000}, {1, 2, 0}}, // an unsorted log is sorted
        {{1000}, {1000, 0, 1000}, {0}},               // stable: file order of equal times
    };
    for (const Case& c : cases) {
        HYP_Data d;
        add_records(d, c.records);
        d.ctd_file.samples = samples_at(c.samples);
        const auto file_samples = d.ctd_file.samples;
        d.merge_ctd();
        EXPECT_TRUE(d.ctd_merged);
        ASSERT_EQ(d.ctd_list.samples.size(), c.records.size());
        for (std::size_t r = 0; r < c.records.size(); ++r) {
            EXPECT_EQ(d.ctd_list.samples[r].pressure, c.chosen[r]) << "record " << r;
            EXPECT_EQ(d.ctd_list.samples[r].time, c.records[r]);
        }
        // The log itself keeps its file order.
        expect_same_entries(d.ctd_file.samples, file_samples);
    }
}

TEST(CtdMerge, RefusesWhatItCannotMerge) {
    HYP_Data none;
    add_records(none, {0, 1});
    EXPECT_EQ(error_of([&] { none.merge_ctd(); }), "No CTD data to merge.");
    EXPECT_FALSE(none.ctd_merged);

    HYP_Data acquired;
    add_records(acquired, {0, 1});
    acquired.ctd_list.samples.clear();
    acquired.ctd_file.samples = samples_at({0});
    EXPECT_EQ(error_of([&] { acquired.merge_ctd(); }), "CTD data do not match the records.");
    EXPECT_FALSE(acquired.ctd_merged);
    EXPECT_TRUE(acquired.ctd_list.samples.empty());
}

TEST(CtdMerge, CountsRecordsWhoseSampleIsMoreThanAMinuteAway) {
    struct Case {
        std::vector<double> records;
        std::vector<double> samples;
        std::size_t far;
    };
    const std::vector<Case> cases = {
        {{0, 60000, 60001, 200000}, {0}, 2},   // exactly 60 s is near enough
        {{-60001, -60000, 0}, {0}, 1},         // before the log as after it
        {{0, 100000, 200000}, {0, 200000}, 1}, // half-way between two far samples
        {{0, 250, 500}, {100, 1100}, 0},       // the usual case
        {{0, 250, 500}, {-61000, 1000000}, 3}, // a log of another day
    };
    for (const Case& c : cases) {
        HYP_Data d;
        add_records(d, c.records);
        d.ctd_file.samples = samples_at(c.samples);
        EXPECT_EQ(d.merge_ctd(), c.far) << c.records.size() << " records";
        EXPECT_TRUE(d.ctd_merged);
    }
    EXPECT_EQ(ctd_gap_report(7),
              "7 records have no CTD sample within 60 s; the nearest sample was used.");
}

TEST_F(Ctd, DataColumnsAreThoseOfTheFirstDataLine) {
    struct Case {
        const char* content;
        int columns;
    };
    const Case cases[] = {
        {"time pres temp cond saln\n120 7.5 12.1 3.9 34.2\n1 2 3 4 5 6 7\n", 5},
        {"header\nmore header\n1\t2 3\n", 3},
        {"  1   2  \r\n", 2},
        {"names\n\nx y z w\n", 4}, // an empty line ends the header; later lines are data
        {"only names\n", 0},
        {"", 0},
    };
    for (const Case& c : cases) {
        write_text(path("log.txt"), c.content);
        EXPECT_EQ(CTD_Data::data_columns(path("log.txt")), c.columns) << c.content;
    }
    EXPECT_EQ(error_of([&] { CTD_Data::data_columns(path("missing.txt")); }),
              "Unable to open file.");
}
