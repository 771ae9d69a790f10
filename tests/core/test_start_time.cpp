// The start time of a data set on line 1 of the files it is saved to: written, read back, kept
// by selections, corrected files and continuous saving, ignored when malformed.
#include "files_test_util.h"

#include "clock_time.h"

using namespace files_test;

namespace {

class StartTime : public ScratchDir {};

constexpr std::int64_t kStart = 1710504030250; // 2024-03-15T12:00:30.250Z
const std::string kField = "\tstart=2024-03-15T12:00:30.250Z";

std::string first_line(const std::string& file) {
    return split_lines(read_text(file)).at(0);
}

// The file without its first line.
std::string after_first_line(const std::string& file) {
    const std::string text = read_text(file);
    return text.substr(text.find('\n'));
}

} // namespace

TEST_F(StartTime, RidesOnLineOneOfEveryFileAndComesBack) {
    for (const char* name : {"hyp_small.dat", "flw_small.dat"}) {
        SCOPED_TRACE(name);
        HYP_Data plain;
        plain.load_file(fixture(name), false);
        ASSERT_FALSE(plain.start_utc);
        plain.save_records(path("plain.dat"));
        plain.fill_corrected_records();
        plain.save_corrected(path("plain_c.dat"), true, false);

        HYP_Data d;
        d.load_file(fixture(name), false);
        d.start_utc = kStart;
        d.save_records(path("start.dat"));
        d.save_selection(path("sel.dat"), {1});
        d.fill_corrected_records();
        d.save_corrected(path("start_c.dat"), true, false);

        // Line 1 gains the field; nothing else changes.
        EXPECT_EQ(first_line(path("plain.dat")), "File created by Velmora version 2.0");
        EXPECT_EQ(first_line(path("start.dat")), "File created by Velmora version 2.0" + kField);
        EXPECT_EQ(after_first_line(path("start.dat")), after_first_line(path("plain.dat")));
        // A selection keeps the data set's start: its record times are those of the data set.
        EXPECT_EQ(first_line(path("sel.dat")), "File created by Velmora version 2.0" + kField);
        EXPECT_EQ(first_line(path("plain_c.dat")), "Output of hyp/flw data");
        EXPECT_EQ(first_line(path("start_c.dat")), "Output of hyp/flw data" + kField);
        EXPECT_EQ(after_first_line(path("start_c.dat")), after_first_line(path("plain_c.dat")));

        // Read back, with the kind of file still told by the lines after the title.
        HYP_Data back;
        back.load_file(path("start.dat"), false);
        EXPECT_EQ(back.instrument_type, d.instrument_type);
        expect_same_records(back.records, d.records);
        EXPECT_EQ(back.start_utc, kStart);
        HYP_Data sel;
        sel.load_file(path("sel.dat"), false);
        EXPECT_EQ(sel.start_utc, kStart);
        ASSERT_EQ(sel.records.size(), 1u);
        EXPECT_EQ(sel.records[0].time, d.records[1].time);
        HYP_Data corrected;
        corrected.load_file(path("start_c.dat"), false);
        EXPECT_EQ(corrected.instrument_type, InstrumentType::Processed);
        EXPECT_EQ(corrected.records.size(), d.records.size());
        EXPECT_EQ(corrected.start_utc, kStart);

        // Loading a file without one leaves the data set without a start time.
        back.load_file(path("plain.dat"), false);
        EXPECT_FALSE(back.start_utc);
        // A water file loaded on top changes nothing of it.
        corrected.load_file(path("plain.dat"), true);
        EXPECT_EQ(corrected.start_utc, kStart);
    }
}

TEST_F(StartTime, MalformedStartIsIgnored) {
    const std::string text = read_text(fixture("hyp_small.dat"));
    const std::string rest = text.substr(text.find('\n'));
    HYP_Data plain;
    plain.load_file(fixture("hyp_small.dat"), false);
    struct Case {
        std::string line1;
        std::optional<std::int64_t> start;
    };
    const Case cases[] = {
        {"File created by Velmora version 2.0" + kField + "\r", kStart},
        {"File created by Velmora version 2.0\tstart=2024-02-30T12:00:30Z", std::nullopt},
        {"File created by Velmora version 2.0\tstart=2024-03-15T12:00", std::nullopt},
        {"File created by Velmora version 2.0\tstart=", std::nullopt},
        {"File created by Velmora version 2.0\tstart 2024-03-15T12:00:30Z", std::nullopt},
        {"Some other program\tstart=2024-03-15T12:00:30.250Z", kStart},
    };
    for (const Case& c : cases) {
        write_text(path("f.dat"), c.line1 + rest);
        HYP_Data d;
        d.start_utc = 1; // replaced by what the file says
        ASSERT_NO_THROW(d.load_file(path("f.dat"), false)) << c.line1;
        EXPECT_EQ(d.start_utc, c.start) << c.line1;
        EXPECT_EQ(d.instrument_type, InstrumentType::HYP) << c.line1;
        expect_same_records(d.records, plain.records);
    }
}

TEST_F(StartTime, ContinuousFileHeaderWaitsForTheFirstRecord) {
    HYP_Data source;
    source.load_file(fixture("hyp_small.dat"), false);
    source.save_records(path("expected_plain.dat"));
    source.start_utc = kStart;
    source.save_records(path("expected_start.dat"));

    // Opened before any record: the header is written with the first one, which brings the
    // start time.
    HYP_Data d;
    d.load_file(fixture("hyp_small.dat"), false);
    const auto records = d.records;
    d.records.clear();
    d.onboard_list.samples.clear();
    d.open_continuous(path("cont.dat"));
    d.append_continuous(); // nothing yet
    EXPECT_EQ(read_text(path("cont.dat")), "");
    d.records = records;
    d.onboard_list.samples = source.onboard_list.samples;
    d.start_utc = kStart;
    d.append_continuous();
    d.close_continuous();
    EXPECT_EQ(read_text(path("cont.dat")), read_text(path("expected_start.dat")));

    // Closed without a record: the header alone, as before.
    HYP_Data empty;
    empty.load_file(fixture("hyp_small.dat"), false);
    empty.records.clear();
    empty.onboard_list.samples.clear();
    empty.open_continuous(path("empty.dat"));
    empty.close_continuous();
    const std::string plain = read_text(path("expected_plain.dat"));
    std::size_t header_end = plain.find("Time(ms)");
    header_end = plain.find('\n', header_end) + 1;
    EXPECT_EQ(read_text(path("empty.dat")), plain.substr(0, header_end));

    // A start already known: the header goes out at once.
    HYP_Data known;
    known.load_file(fixture("hyp_small.dat"), false);
    known.records.clear();
    known.onboard_list.samples.clear();
    known.start_utc = kStart;
    known.open_continuous(path("known.dat"));
    EXPECT_EQ(first_line(path("known.dat")), "File created by Velmora version 2.0" + kField);
    known.close_continuous();
}
