// velmora-cli seabass-check: what it prints and its exit status, on files the writer made and on
// damaged copies of them.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "clock_time.h"
#include "products.h"
#include "seabass.h"

namespace fs = std::filesystem;

namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

std::string read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class CliSeabass : public ::testing::Test {
  protected:
    fs::path dir;

    void SetUp() override {
        char tmpl[] = "/tmp/velmora_seabass_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    CliRun run(const std::string& args) {
        const std::string cmd = std::string("'") + VELMORA_CLI + "' " + args + " >'" +
                                (dir / "stdout.txt").string() + "' 2>'" +
                                (dir / "stderr.txt").string() + "'";
        const int st = std::system(cmd.c_str());
        CliRun r;
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        r.out = read_all(dir / "stdout.txt");
        r.err = read_all(dir / "stderr.txt");
        return r;
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    // A file that passes the check: two records of two channels.
    void write_good(const std::string& name) {
        ProductTable t;
        t.a_wavelengths = t.c_wavelengths = {440.0, 676.0};
        t.start_utc = *clock_time::parse_iso("2024-03-15T12:00:30Z");
        t.time = {0.0, 250.0};
        t.a = {0.1, 0.2, 0.11, 0.21};
        t.c = {0.5, 0.6, 0.51, 0.61};
        t.info.device_file = "HYP123.dev";
        t.info.metadata = {
            {"investigators", "A_B"},    {"affiliations", "Lab"},   {"contact", "a@b.org"},
            {"experiment", "E"},         {"cruise", "C"},           {"station", "S"},
            {"documents", "README.txt"}, {"data_status", "final"},  {"north_latitude", "45"},
            {"south_latitude", "45"},    {"east_longitude", "-70"}, {"west_longitude", "-70"}};
        seabass::write_file(path(name), t);
    }

    // A copy of `from` with the first `what` replaced by `with`.
    void damage(const std::string& from, const std::string& to, const std::string& what,
                const std::string& with) {
        std::string s = read_all(path(from));
        s.replace(s.find(what), what.size(), with);
        std::ofstream(path(to), std::ios::binary) << s;
    }
};

TEST_F(CliSeabass, ExitStatusAndFindings) {
    write_good("good.sb");
    damage("good.sb", "na.sb", "0.21", "NA");
    damage("good.sb", "renamed.sb", "/data_file_name=good.sb", "/data_file_name=other.sb");
    const std::string good = path("good.sb"), na = path("na.sb"), renamed = path("renamed.sb");
    const std::size_t last_line = 31; // the second data line

    struct Case {
        std::string args;
        int status;
        std::string out, err_has;
    };
    const Case cases[] = {
        {"seabass-check " + good, 0, good + ": no errors\n", ""},
        {"seabass-check " + renamed, 0,
         renamed + ":8: warning: /data_file_name is 'other.sb', the file is named 'renamed.sb'\n" +
             renamed + ": no errors, 1 warning\n",
         ""},
        {"seabass-check " + good + " " + na, 1,
         good + ": no errors\n" + na +
             ":8: warning: /data_file_name is 'good.sb', the file is named 'na.sb'\n" + na + ":" +
             std::to_string(last_line) +
             ": error: 'NA' in the data for agp676 (a missing value is -9999)\n",
         ""},
        // A file that cannot be read is an error; the others are still checked.
        {"seabass-check " + path("none.sb") + " " + good, 1, good + ": no errors\n",
         path("none.sb") + ": Unable to open file."},
        {"seabass-check", 2, "", "no FILE given"},
        {"seabass-check --strict " + good, 2, "", "unknown option '--strict'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_NE(r.err.find(c.err_has), std::string::npos) << r.err;
    }
    const CliRun help = run("seabass-check --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: velmora-cli seabass-check FILE..."), std::string::npos);
}

} // namespace
