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

namespace {

// 2024-03-15T12:00:30.250Z, ms since 1970.
constexpr std::int64_t kStart = 1710504030250;

struct TimedLog {
    const char* name;
    CtdTimeFormat format;
    int time_col;
    std::int64_t start;
    const char* content;
    std::vector<double> times; // ms since the start
    std::vector<double> temps;
    std::size_t skipped;
};

} // namespace

TEST_F(Ctd, ClockAndSecondTimesAreReadIntoTheRecordsTimeBase) {
    const TimedLog cases[] = {
        {"s",
         CtdTimeFormat::Seconds,
         1,
         0,
         "t_s pres temp\n1 2 3\n" // a line of numbers is data with seconds
         "0 1 10\n1.5 1 11\n2s 1 99\n3 1 12\n",
         {1000, 0, 1500, 3000},
         {3, 10, 11, 12},
         1},
        {"epoch",
         CtdTimeFormat::Epoch,
         1,
         kStart,
         "epoch pres temp\n1710504030.25 1 10\n1710504031.75 1 11\n",
         {0, 1500},
         {10, 11},
         0},
        // Lines before the first readable time are the header, letters or not; later lines that
        // do not read are skipped and counted, not read as zeros.
        {"iso",
         CtdTimeFormat::Iso,
         3,
         kStart,
         "station 7\n1 2 3 4\n"
         "1.5 10 2024-03-15T12:00:30.250Z\n"
         "2.5 11 2024-03-15T12:00:31Z\n"
         "3.5 99 2024-03-15T12:00:31\n" // no Z: still UTC
         "4.5 99 2024-02-30T12:00:31Z\n"
         "5.5 99\n"
         "pump off\n"
         "\n"
         "6.5 12 2024-03-15T11:59:30.250\n",
         {0, 750, 750, -60000},
         {10, 11, 99, 12},
         3},
        // The date field says the day: a log across midnight keeps counting up.
        {"date-time",
         CtdTimeFormat::DateTime,
         2,
         1710547199000, // 2024-03-15T23:59:59Z
         "pres date time temp\n"
         "1 03/15/2024 23:59:59.500 10\n"
         "1 2024-03-16 00:00:00.25 11\n"
         "1 03/16/2024 25:00:00 99\n"
         "1 03/16/2024 00:01:00 12\n",
         {500, 1250, 61000},
         {10, 11, 12},
         1},
    };
    for (const TimedLog& c : cases) {
        SCOPED_TRACE(c.name);
        write_text(path("log.txt"), c.content);
        CTD_Data log;
        const CtdTimeBase time{c.format, 0.0, c.start};
        const int temp_col = c.format == CtdTimeFormat::DateTime ? 4
                             : c.format == CtdTimeFormat::Iso    ? 2
                                                                 : 3;
        EXPECT_EQ(log.read_ctd_file(path("log.txt"), c.time_col, temp_col, 5, 1, time), c.skipped);
        ASSERT_EQ(log.samples.size(), c.times.size());
        for (std::size_t i = 0; i < c.times.size(); ++i) {
            EXPECT_NEAR(log.samples[i].time, c.times[i], 1e-6) << "sample " << i;
            EXPECT_EQ(log.samples[i].temperature, c.temps[i]) << "sample " << i;
        }
        EXPECT_EQ(log.source_file, path("log.txt"));
    }
}

TEST_F(Ctd, LagShiftsEveryTimeAndClockTimesNeedAStartTime) {
    write_text(path("iso.txt"), "time temp\n2024-03-15T12:00:31.250Z 10\n");
    CTD_Data log;
    EXPECT_EQ(log.read_ctd_file(path("iso.txt"), 1, 2, 5, 3, {CtdTimeFormat::Iso, -2.5, kStart}),
              0u);
    ASSERT_EQ(log.samples.size(), 1u);
    EXPECT_EQ(log.samples[0].time, 1000 - 2500);

    // ms keeps its header rule and reads as before, then takes the lag.
    CTD_Data plain, lagged;
    plain.read_ctd_file(fixture("ctd_small.txt"), 1, 3, 5, 2);
    lagged.read_ctd_file(fixture("ctd_small.txt"), 1, 3, 5, 2, {CtdTimeFormat::Ms, 0.5, {}});
    ASSERT_EQ(lagged.samples.size(), plain.samples.size());
    for (ctd_struct& s : plain.samples)
        s.time += 500;
    expect_same_entries(lagged.samples, plain.samples);

    for (const CtdTimeFormat f :
         {CtdTimeFormat::Epoch, CtdTimeFormat::Iso, CtdTimeFormat::DateTime})
        EXPECT_EQ(error_of([&] {
                      log.read_ctd_file(path("iso.txt"), 1, 2, 5, 3, {f, 0.0, {}});
                  }),
                  "The data set has no start time; set it before merging a CTD log with clock "
                  "times.");
    EXPECT_EQ(log.samples.size(), 1u);
    // Seconds since the first record need none.
    write_text(path("s.txt"), "2 10\n");
    EXPECT_EQ(log.read_ctd_file(path("s.txt"), 1, 2, 5, 3, {CtdTimeFormat::Seconds, 0.0, {}}), 0u);
    EXPECT_EQ(log.samples.back().time, 2000);
}

TEST_F(Ctd, DataColumnsFollowTheHeaderRuleOfTheFormat) {
    // Numbers before the first ISO time are header lines for iso, the first data line for ms.
    write_text(path("log.txt"), "1 2\n5.0 2024-03-15T12:00:31Z 7 8\n");
    EXPECT_EQ(CTD_Data::data_columns(path("log.txt")), 2);
    EXPECT_EQ(CTD_Data::data_columns(path("log.txt"), CtdTimeFormat::Iso, 2), 4);
    EXPECT_EQ(CTD_Data::data_columns(path("log.txt"), CtdTimeFormat::Iso, 1), 0);
}

TEST(CtdMerge, SamplesBeyondTheMaxGapGiveNaN) {
    HYP_Data d;
    add_records(d, {0, 60000, 60001, 200000});
    d.ctd_file.samples = {{0, 5, 33, 12}};
    EXPECT_EQ(d.merge_ctd(60000.0), 2u);
    const std::vector<ctd_struct>& m = d.ctd_list.samples;
    for (std::size_t r = 0; r < 2; ++r) // exactly the gap is near enough
        EXPECT_EQ(m[r].temperature, 12) << r;
    for (std::size_t r = 2; r < 4; ++r) {
        EXPECT_TRUE(std::isnan(m[r].temperature) && std::isnan(m[r].salinity) &&
                    std::isnan(m[r].pressure))
            << r;
        EXPECT_EQ(m[r].time, d.records[r].time);
    }

    EXPECT_EQ(ctd_nan_report(2, 60), "2 records have no CTD sample within 60 s.");
    EXPECT_EQ(ctd_nan_report(1, 2.5), "1 records have no CTD sample within 2.5 s.");
    EXPECT_EQ(ctd_skipped_report(3), "Skipped 3 CTD lines whose time could not be read.");
    EXPECT_EQ(ctd_max_gap_s(CtdTimeFormat::Iso, std::nullopt), 60.0);
    EXPECT_EQ(ctd_max_gap_s(CtdTimeFormat::DateTime, 5.0), 5.0);
    EXPECT_EQ(ctd_max_gap_s(CtdTimeFormat::Ms, std::nullopt), std::nullopt);
    EXPECT_EQ(ctd_max_gap_s(CtdTimeFormat::Seconds, 10.0), 10.0);
}
