// Large files are read and written by several threads, in pieces split at line boundaries: the
// records, the onboard values and every byte written must be those of one thread, and a failure
// must end the output where one thread would have ended it.
#include <atomic>
#include <sstream>
#include <thread>

#include <sys/stat.h>

#include "atomic_file.h"
#include "file_lines.h"
#include "files_test_util.h"
#include "parallel.h"

using namespace files_test;

namespace {

// The readers and writers split with these settings while it lives.
class TuningScope {
  public:
    TuningScope(unsigned threads, std::size_t min_part_bytes, std::size_t block_bytes)
        : saved_(parallel::tuning()) {
        parallel::tuning() = {threads, min_part_bytes, block_bytes, 1};
    }
    ~TuningScope() { parallel::tuning() = saved_; }
    TuningScope(const TuningScope&) = delete;
    TuningScope& operator=(const TuningScope&) = delete;

  private:
    parallel::Tuning saved_;
};

// The split settings every comparison runs with: one thread (the reference), then pieces and
// blocks as small as one line or one record, on more threads than records in some blocks.
const unsigned kThreadCounts[] = {2, 3, 7};

// A fixture's lines up to and including its label line.
std::string header_of(const std::string& fixture_name) {
    std::string h;
    for (const std::string& line : split_lines(read_text(fixture(fixture_name)))) {
        h += line;
        h += '\n';
        if (line.rfind("Time(ms)", 0) == 0)
            break;
    }
    return h;
}

// Data lines of `values` numbers each, in every shape the readers meet: all onboard fields, a
// temperature only, none (so the onboard values of earlier lines carry on, across any split),
// short lines, lines of blanks, damaged lines holding a NUL byte, CRLF endings.
std::string data_body(int lines, int values, unsigned seed) {
    std::mt19937 rng(seed);
    std::string body;
    for (int j = 0; j < lines; ++j) {
        const unsigned shape = rng() % 10;
        if (shape == 0) {
            body += " \t \n";
            continue;
        }
        std::string line = text_g10(250.0 * j);
        const int count = shape == 1 ? values / 2 : values;
        for (int i = 0; i < count; ++i)
            line += '\t' + text_g10(0.1 + 0.001 * static_cast<double>(rng() % 100000));
        if (shape >= 5)
            line += '\t' + text_g10(10.0 + j * 0.01); // temperature
        if (shape >= 7)
            line += "\t0\t" + text_g10(j * 0.5); // unread field, pressure
        if (shape == 2)
            line[line.size() / 2] = '\0';
        body += line;
        body += shape == 3 ? "\r\n" : "\n";
    }
    return body;
}

void expect_identical(const std::vector<hyp_data>& a, const std::vector<hyp_data>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t r = 0; r < a.size(); ++r) {
        ASSERT_EQ(a[r].time, b[r].time) << "record " << r;
        ASSERT_EQ(a[r].a_values, b[r].a_values) << "record " << r;
        ASSERT_EQ(a[r].c_values, b[r].c_values) << "record " << r;
    }
}

void expect_identical(const std::vector<ctd_struct>& a, const std::vector<ctd_struct>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].temperature, b[i].temperature) << "entry " << i;
        ASSERT_EQ(a[i].pressure, b[i].pressure) << "entry " << i;
        ASSERT_EQ(a[i].salinity, b[i].salinity) << "entry " << i;
    }
}

class ParallelFiles : public ScratchDir {};

} // namespace

TEST_F(ParallelFiles, SplitReadingGivesTheRecordsOfOneThread) {
    struct Case {
        const char* what;
        std::string content;
    };
    const std::string hyp = header_of("hyp_small.dat");
    const std::string flw = header_of("flw_small.dat");
    std::string processed;
    {
        // A corrected file, and the same with an empty line half-way that ends its data.
        HYP_Data d;
        write_text(path("src.dat"), hyp + data_body(300, 6, 3));
        d.load_file(path("src.dat"), false);
        for (hyp_data& r : d.records) {
            r.a_values.resize(3, 0.25);
            r.c_values.resize(3, 0.75);
        }
        d.save_corrected(path("corrected.dat"), false, false);
        processed = read_text(path("corrected.dat"));
    }
    std::string processed_cut = processed;
    processed_cut.insert(processed_cut.find('\n', processed.size() / 2) + 1, "\n");
    const std::vector<Case> cases = {
        {"HYP", hyp + data_body(400, 6, 1)},
        {"HYP, last line without a line break (not taken)", hyp + data_body(400, 6, 2) + "1e6\t1"},
        {"FLW", flw + data_body(400, 18, 4)},
        {"FLW, last line without a line break (taken)", flw + data_body(400, 18, 5) + "1e6\t1"},
        {"corrected file", processed},
        {"corrected file ending at an empty line", processed_cut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write_text(path("in.dat"), c.content);
        HYP_Data one;
        {
            const TuningScope single(1, 1, 1);
            one.load_file(path("in.dat"), false);
        }
        ASSERT_GT(one.records.size(), 10u);
        for (const unsigned threads : kThreadCounts) {
            SCOPED_TRACE(threads);
            const TuningScope split(threads, 1, 1);
            HYP_Data many;
            many.load_file(path("in.dat"), false);
            expect_identical(many.records, one.records);
            expect_identical(many.onboard_list.samples, one.onboard_list.samples);
            expect_identical(many.ctd_list.samples, one.ctd_list.samples);
            EXPECT_EQ(many.header_lines, one.header_lines);
        }
    }
}

TEST_F(ParallelFiles, WaterModeAveragesTheSameRecords) {
    write_text(path("in.dat"), header_of("hyp_small.dat") + data_body(500, 6, 6));
    HYP_Data one, many;
    one.load_file(fixture("hyp_small.dat"), false);
    many.load_file(fixture("hyp_small.dat"), false);
    {
        const TuningScope single(1, 1, 1);
        one.load_file(path("in.dat"), true);
    }
    const TuningScope split(3, 1, 1);
    many.load_file(path("in.dat"), true);
    expect_identical(many.water_records, one.water_records);
    EXPECT_EQ(many.water_a, one.water_a);
    EXPECT_EQ(many.water_c, one.water_c);
}

TEST_F(ParallelFiles, PipeIsReadWhole) {
    // A pipe cannot be split: it is read line by line, whatever the settings.
    const std::string content = header_of("hyp_small.dat") + data_body(300, 6, 7);
    write_text(path("in.dat"), content);
    HYP_Data file;
    file.load_file(path("in.dat"), false);
    const std::string fifo = path("in.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { write_text(fifo, content); });
    HYP_Data piped;
    {
        const TuningScope split(3, 1, 1);
        piped.load_file(fifo, false);
    }
    writer.join();
    expect_identical(piped.records, file.records);
    expect_identical(piped.onboard_list.samples, file.onboard_list.samples);
}

TEST_F(ParallelFiles, SplitPointsFallAfterLineBreaks) {
    struct Case {
        const char* what;
        std::string rest; // what follows the one header line
        std::size_t parts, min_bytes;
        std::size_t pieces;
    };
    const std::string line = std::string(99, 'x') + '\n';
    std::string ten_lines;
    for (int i = 0; i < 10; ++i)
        ten_lines += line;
    const std::vector<Case> cases = {
        {"even lines", ten_lines, 2, 1, 2},
        {"more parts than lines", ten_lines, 50, 1, 10},
        {"pieces at least min_bytes", ten_lines, 8, 300, 3},
        {"rest smaller than min_bytes", ten_lines, 2, 5000, 1},
        {"one long line", std::string(5000, 'y'), 4, 1, 1},
        {"long line then short ones", std::string(3000, 'y') + "\n" + ten_lines, 4, 1, 4},
        {"nothing", "", 4, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string content = "header\n" + c.rest;
        write_text(path("in.txt"), content);
        fileio::LineReader in(path("in.txt"));
        std::string_view first;
        ASSERT_TRUE(in.next(first));
        const std::vector<std::size_t> b = fileio::split_rest(in, c.parts, c.min_bytes);
        ASSERT_EQ(b.size(), c.pieces + 1);
        EXPECT_EQ(b.front(), 7u);
        EXPECT_EQ(b.back(), content.size());
        std::string joined;
        for (std::size_t k = 0; k + 1 < b.size(); ++k) {
            ASSERT_LE(b[k], b[k + 1]);
            if (k > 0) {
                EXPECT_EQ(content[b[k] - 1], '\n') << "piece " << k;
            }
            fileio::LineReader piece(in.fd(), b[k], b[k + 1]);
            std::string_view l;
            while (piece.next(l)) {
                joined += l;
                joined += piece.terminated() ? "\n" : "";
            }
            EXPECT_FALSE(piece.failed());
        }
        EXPECT_EQ(joined, c.rest);
    }
}

namespace {

// A data set of about 300 records with every correction the constant sources allow, and the CTD
// columns from its onboard values.
class ParallelWriting : public ScratchDir {
  protected:
    void SetUp() override {
        ScratchDir::SetUp();
        write_text(path("in.dat"), header_of("hyp_small.dat") + data_body(360, 6, 8));
        d.load_file(path("in.dat"), false);
        // Every record complete, so that every correction applies.
        for (hyp_data& r : d.records) {
            r.a_values.resize(3, 0.25);
            r.c_values.resize(3, 0.75);
        }
        d.do_temp = d.do_saln = d.do_scat = true;
        d.const_temp = 14.5;
        d.const_saln = 33.0;
        d.scat_method = ScatMethod::Proportional;
        d.ctd_merged = true; // the onboard values stand in for a merged log
        d.fill_corrected_records();
    }

    // Everything the writers produce for this data set, as text.
    std::string all_outputs() {
        std::ostringstream s;
        d.save_corrected(path("c.dat"), true, true);
        s << read_text(path("c.dat"));
        d.save_records(path("r.dat"));
        s << read_text(path("r.dat"));
        d.save_selection(path("s.dat"), {5, 2, d.records.size() - 1, 2, 100});
        s << read_text(path("s.dat"));
        LineOptions every;
        every.with_corrections = every.ctd_columns = every.file_order = every.chl_column = true;
        d.write_lines(s, {}, every);
        LineOptions averaged;
        averaged.averaged = true;
        d.write_lines(s, {7, 3}, averaged);
        return s.str();
    }

    HYP_Data d;
};

} // namespace

TEST_F(ParallelWriting, BlocksFormattedSideBySideGiveTheBytesOfOneThread) {
    std::string one;
    {
        const TuningScope single(1, 1, 1 << 20);
        one = all_outputs();
    }
    ASSERT_GT(one.size(), 50000u);
    struct Split {
        unsigned threads;
        std::size_t block_bytes;
    };
    for (const Split s : {Split{2, 1}, Split{3, 1000}, Split{7, 5000}, Split{2, 1 << 20}}) {
        SCOPED_TRACE(std::to_string(s.threads) + " threads, blocks of " +
                     std::to_string(s.block_bytes) + " bytes");
        const TuningScope split(s.threads, 1, s.block_bytes);
        EXPECT_EQ(all_outputs(), one);
    }
}

TEST_F(ParallelWriting, FailingRecordEndsTheLinesWhereOneThreadEnds) {
    std::ostringstream whole;
    LineOptions corrected;
    corrected.with_corrections = corrected.ctd_columns = true;
    d.write_lines(whole, {}, corrected);
    const std::vector<std::string> lines = split_lines(whole.str());
    ASSERT_EQ(lines.size(), d.records.size());
    for (const std::size_t bad :
         {std::size_t{0}, std::size_t{1}, std::size_t{150}, lines.size() - 1}) {
        SCOPED_TRACE("record " + std::to_string(bad) + " short");
        const double kept = d.records[bad].a_values.back();
        d.records[bad].a_values.pop_back();
        const std::string expected = join_lines(
            std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(bad)));
        for (const unsigned threads : {1u, 2u, 7u}) {
            SCOPED_TRACE(threads);
            const TuningScope split(threads, 1, 700);
            std::ostringstream out;
            EXPECT_EQ(error_of([&] { d.write_lines(out, {}, corrected); }),
                      "Record " + std::to_string(bad) + " has fewer values than channels.");
            EXPECT_EQ(out.str(), expected);
            // The file is not replaced by a part.
            write_text(path("old.dat"), "precious\n");
            EXPECT_NE(error_of([&] { d.save_corrected(path("old.dat"), true, false); }), "");
            EXPECT_EQ(read_text(path("old.dat")), "precious\n");
        }
        d.records[bad].a_values.push_back(kept);
    }
    EXPECT_EQ(entries(), std::vector<std::string>({"in.dat", "old.dat"}));
}

TEST_F(ParallelWriting, CorrectedRecordsAreThoseOfOnePass) {
    std::vector<hyp_data> one;
    {
        const TuningScope single(1, 1, 1);
        d.fill_corrected_records();
        one = d.corrected_records;
    }
    const TuningScope split(3, 1, 1);
    d.fill_corrected_records();
    expect_identical(d.corrected_records, one);
    // A record that cannot be corrected: the list holds the records before it.
    for (const std::size_t bad : {std::size_t{0}, one.size() / 2, one.size() - 1}) {
        SCOPED_TRACE(bad);
        const double kept = d.records[bad].c_values.back();
        d.records[bad].c_values.pop_back();
        EXPECT_EQ(error_of([&] { d.fill_corrected_records(); }),
                  "Record " + std::to_string(bad) + " has fewer values than channels.");
        expect_identical(d.corrected_records,
                         std::vector<hyp_data>(one.begin(), one.begin() + static_cast<long>(bad)));
        d.records[bad].c_values.push_back(kept);
    }
}

TEST(OrderedBlocks, FailuresStopTheWorkersAndReachTheCaller) {
    struct Case {
        const char* what;
        int produce_fails, consume_fails; // block numbers, -1 for none
        int consumed;                     // blocks consume sees
    };
    const std::vector<Case> cases = {
        {"no failure", -1, -1, 40},
        {"produce fails at block 17", 17, -1, 18},
        {"produce fails at block 0", 0, -1, 1},
        {"consume fails at block 9", -1, 9, 10},
    };
    for (const Case& c : cases) {
        for (const unsigned workers : {1u, 2u, 5u}) {
            SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(workers) + " workers");
            std::atomic<int> produced{0};
            std::vector<int> seen;
            std::string error;
            try {
                parallel::ordered_blocks<std::vector<int>>(
                    40, workers,
                    [&](std::size_t b, std::vector<int>& buf) {
                        ++produced;
                        buf.assign(1, static_cast<int>(b));
                        if (static_cast<int>(b) == c.produce_fails)
                            throw std::runtime_error("produce");
                    },
                    [&](std::size_t b, std::vector<int>& buf) {
                        EXPECT_EQ(buf, std::vector<int>{static_cast<int>(b)});
                        seen.push_back(static_cast<int>(b));
                        if (static_cast<int>(b) == c.consume_fails)
                            throw std::runtime_error("consume");
                    });
            } catch (const std::runtime_error& e) {
                error = e.what();
            }
            EXPECT_EQ(error, c.produce_fails >= 0   ? "produce"
                             : c.consume_fails >= 0 ? "consume"
                                                    : "");
            ASSERT_EQ(seen.size(), static_cast<std::size_t>(c.consumed));
            for (int b = 0; b < c.consumed; ++b)
                EXPECT_EQ(seen[static_cast<std::size_t>(b)], b);
            // Workers run at most one block per worker and one more ahead of the consumer.
            EXPECT_LE(produced.load(), c.consumed + static_cast<int>(workers) + 1);
        }
    }
}

TEST_F(ParallelFiles, AtomicFileWritesLargePiecesWhole) {
    // Small and large writes, well past the points where the disk is asked to catch up.
    std::string expected;
    {
        AtomicFile f(path("big.dat"), "cannot open");
        std::mt19937 rng(9);
        while (expected.size() < (20u << 20)) {
            const std::size_t n = rng() % 3 == 0 ? rng() % (3u << 20) : rng() % 100;
            const std::string piece(n, static_cast<char>('a' + rng() % 26));
            f.stream() << piece;
            expected += piece;
            f.stream().put('\n');
            expected += '\n';
        }
        f.commit();
    }
    EXPECT_EQ(read_text(path("big.dat")), expected);
    EXPECT_EQ(entries(), std::vector<std::string>{"big.dat"});
}
