// Files as they arrive from other computers, other programs and damaged disks: CRLF lines, no
// final line break, runs of NUL bytes from a power cut, a NUL where a tab belongs, and names
// with spaces and bytes that are not UTF-8.  Each reads correctly, or loses only the damaged
// line; no value ever lands in another column.
#include <functional>

#include "files_test_util.h"
#include "text.h"

using namespace files_test;

namespace {

enum class Reader { Hyp, Flw, Ctd };

// Reads `path` as `reader` does; the records (CTD entries as one-value records) come back.
std::vector<hyp_data> read_as(Reader reader, const std::string& path) {
    if (reader == Reader::Ctd) {
        CTD_Data ctd;
        ctd.read_ctd_file(path, 1, 3, 5, 2);
        std::vector<hyp_data> out;
        for (const ctd_struct& e : ctd.samples) {
            hyp_data r;
            r.time = e.time;
            r.a_values = {e.temperature, e.salinity};
            r.c_values = {e.pressure};
            out.push_back(r);
        }
        return out;
    }
    HYP_Data d;
    d.load_file(path, false);
    return d.records;
}

struct Damage {
    const char* what;
    // Changes the file's lines; `first` is the index of the first record line.
    std::function<std::string(std::vector<std::string>, std::size_t first)> apply;
    // Which of the clean file's records read back (by index); empty: all of them.
    std::function<std::vector<std::size_t>(std::size_t records)> expected;
};

std::vector<std::size_t> all_but(std::size_t records, std::size_t dropped) {
    std::vector<std::size_t> keep;
    for (std::size_t i = 0; i < records; ++i)
        if (i != dropped)
            keep.push_back(i);
    return keep;
}

const std::string kNuls(4096, '\0');

const Damage kDamages[] = {
    {"CRLF line ends", [](auto lines, std::size_t) { return join_lines(lines, "\r\n"); }, {}},
    {"NUL run after the last record (a power cut)",
     [](auto lines, std::size_t) { return join_lines(lines) + kNuls; },
     {}},
    {"NUL run ending in a line break",
     [](auto lines, std::size_t) { return join_lines(lines) + kNuls + "\n"; },
     {}},
    {"NUL in place of a tab in the second record",
     [](auto lines, std::size_t first) {
         std::string& l = lines.at(first + 1);
         const std::size_t tab = l.find_first_of("\t ", l.find_first_not_of("\t "));
         l[tab] = '\0';
         return join_lines(lines);
     },
     [](std::size_t n) { return all_but(n, 1); }},
    {"NUL inside a number of the second record",
     [](auto lines, std::size_t first) {
         std::string& l = lines.at(first + 1);
         l.insert(l.find('.') + 1, 1, '\0');
         return join_lines(lines);
     },
     [](std::size_t n) { return all_but(n, 1); }},
};

class OddFiles : public ScratchDir {};

TEST_F(OddFiles, DamagedCopiesReadTheirGoodRecordsInTheirColumns) {
    const struct {
        Reader reader;
        const char* fixture;
    } kinds[] = {{Reader::Hyp, "hyp_small.dat"},
                 {Reader::Flw, "flw_small.dat"},
                 {Reader::Ctd, "ctd_small.txt"}};
    for (const auto& kind : kinds) {
        const std::vector<std::string> lines = split_lines(read_text(fixture(kind.fixture)));
        const std::vector<hyp_data> clean = read_as(kind.reader, fixture(kind.fixture));
        ASSERT_GE(clean.size(), 2u) << kind.fixture;
        // The record lines are the last clean.size() lines that hold a field.
        std::size_t first = lines.size(), found = 0;
        while (found < clean.size() && first > 0)
            found += !text::has_no_field(lines[--first]);
        if (kind.reader == Reader::Ctd) // its sample lines include blank and short ones
            first = 2;
        for (const Damage& damage : kDamages) {
            SCOPED_TRACE(std::string(kind.fixture) + ": " + damage.what);
            write_text(path("damaged"), damage.apply(lines, first));
            std::vector<hyp_data> want;
            if (damage.expected) {
                for (std::size_t i : damage.expected(clean.size()))
                    want.push_back(clean[i]);
            } else {
                want = clean;
            }
            std::vector<hyp_data> got;
            const std::string error =
                error_of([&] { got = read_as(kind.reader, path("damaged")); });
            ASSERT_EQ(error, "");
            expect_same_records(got, want);
        }
    }
}

TEST_F(OddFiles, NamesWithSpacesAndBytesThatAreNotUtf8) {
    const std::string folder = path("cruise 2026 \xe9t\xe9");
    fs::create_directory(folder);
    const std::string name = folder + "/cast #1 \xff\xfe %s.dat";
    fs::copy_file(fixture("hyp_small.dat"), name);
    HYP_Data d;
    d.load_file(name, false);
    EXPECT_EQ(d.file_name, name);
    EXPECT_EQ(d.records.size(), 3u);
    d.save_records(name + ".copy");
    HYP_Data back;
    back.load_file(name + ".copy", false);
    expect_same_records(back.records, d.records);
    EXPECT_EQ(error_of([&] { d.load_file(folder + "/missing \xff.dat", false); }) == "", false);
}

} // namespace
