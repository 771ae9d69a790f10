// The start time on the command line: correct --start, replay with CAPTURE.start and --start,
// and the start line of info.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string first_line(const fs::path& p) {
    const std::string text = read_all(p);
    return text.substr(0, text.find('\n'));
}

const std::string kForm = "Start time must look like 2024-03-15T12:00:30Z.";

class CliStart : public ::testing::Test {
  protected:
    fs::path dir;

    void SetUp() override {
        char tmpl[] = "/tmp/velmora_cli_start_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        fs::copy_file(VELMORA_DATA_DIR "/../tests/core/data/hyp_small.dat", dir / "cast.dat");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const char* name) const { return (dir / name).string(); }

    struct Run {
        int status = -1;
        std::string out, err;
    };
    Run run(const std::string& args) {
        const std::string cmd = std::string("'") + VELMORA_CLI + "' " + args + " >'" +
                                path("out.txt") + "' 2>'" + path("err.txt") + "'";
        const int st = std::system(cmd.c_str());
        return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, read_all(dir / "out.txt"),
                read_all(dir / "err.txt")};
    }
    // The last line info prints about FILE.
    std::string info_start(const char* name) {
        const Run r = run(std::string("info '") + path(name) + "'");
        EXPECT_EQ(r.status, 0) << r.err;
        const std::size_t from = r.out.rfind('\n', r.out.size() - 2);
        return r.out.substr(from + 1);
    }
};

} // namespace

TEST_F(CliStart, CorrectSetsOrKeepsItAndInfoSaysIt) {
    EXPECT_EQ(info_start("cast.dat"), "start: unknown\n");
    Run r = run("correct '" + path("cast.dat") + "' -o '" + path("plain.txt") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(first_line(dir / "plain.txt"), "Output of hyp/flw data");

    r = run("correct '" + path("cast.dat") + "' --start '2024-03-15 12:00:30.25' -o '" +
            path("set.txt") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(first_line(dir / "set.txt"),
              "Output of hyp/flw data\tstart=2024-03-15T12:00:30.250Z");
    EXPECT_EQ(info_start("set.txt"), "start: 2024-03-15T12:00:30.250Z\n");

    // A data file with a start keeps it; --start overrides it.
    std::string text = read_all(dir / "cast.dat");
    text.insert(text.find('\n'), "\tstart=2020-01-01T00:00:00.000Z");
    std::ofstream(dir / "dated.dat", std::ios::binary) << text;
    EXPECT_EQ(info_start("dated.dat"), "start: 2020-01-01T00:00:00.000Z\n");
    r = run("correct '" + path("dated.dat") + "' -o '" + path("kept.txt") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(first_line(dir / "kept.txt"),
              "Output of hyp/flw data\tstart=2020-01-01T00:00:00.000Z");
    r = run("correct '" + path("dated.dat") + "' --start 2024-03-15T12:00:30Z -o '" +
            path("over.txt") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(first_line(dir / "over.txt"),
              "Output of hyp/flw data\tstart=2024-03-15T12:00:30.000Z");
}

TEST_F(CliStart, ReplayTakesTheStartFileOrTheOption) {
    const std::string dev = VELMORA_DATA_DIR "/sample_hyp.dev";
    Run r = run("simulate --model hyp --dev '" + dev + "' --records 5 -o '" + path("c.bin") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string replay = "replay --dev '" + dev + "' '" + path("c.bin") + "' -o '";

    r = run(replay + path("none.dat") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(first_line(dir / "none.dat"), "File created by Velmora version 2.0");

    std::ofstream(dir / "c.bin.start") << "start=2024-03-15T12:00:30.250Z\n";
    r = run(replay + path("beside.dat") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(first_line(dir / "beside.dat"),
              "File created by Velmora version 2.0\tstart=2024-03-15T12:00:30.250Z");
    // The rest of the file is the replay's as without a start.
    const std::string none = read_all(dir / "none.dat"), beside = read_all(dir / "beside.dat");
    EXPECT_EQ(beside.substr(beside.find('\n')), none.substr(none.find('\n')));

    r = run(replay + path("over.dat") + "' --start 2024-03-16T00:00:00Z");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(first_line(dir / "over.dat"),
              "File created by Velmora version 2.0\tstart=2024-03-16T00:00:00.000Z");
}

TEST_F(CliStart, MalformedStartIsAUsageError) {
    for (const char* bad :
         {"2024-03-15", "2024-02-30T00:00:00Z", "noon", "2024-03-15T12:00:30+01"}) {
        Run r = run("correct '" + path("cast.dat") + "' --start '" + bad + "' -o '" +
                    path("x.txt") + "'");
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find(kForm), std::string::npos) << r.err;
        r = run("replay --dev x.dev c.bin -o '" + path("x.dat") + "' --start '" + bad + "'");
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find(kForm), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "x.txt"));
        EXPECT_FALSE(fs::exists(dir / "x.dat"));
    }
}
