// velmora-cli correct --gps: positions from an NMEA log in the corrected file, and the messages
// of the logs and data sets that cannot be merged.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string sentence(const std::string& body) {
    unsigned x = 0;
    for (const char c : body)
        x ^= static_cast<unsigned char>(c);
    char sum[4];
    std::snprintf(sum, sizeof sum, "%02X", x);
    return "$" + body + "*" + sum + "\r\n";
}

class CliGps : public ::testing::Test {
  protected:
    fs::path dir;

    void SetUp() override {
        char tmpl[] = "/tmp/velmora_cli_gps_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        // Records at 250, 500 and 750.5 ms.
        fs::copy_file(VELMORA_DATA_DIR "/../tests/core/data/hyp_small.dat", dir / "cast.dat");
        std::ofstream(dir / "track.nmea", std::ios::binary)
            << sentence("GPRMC,120000,A,5410.000,N,00753.000,E,5.0,45.0,150324,,,A")
            << "$GPGGA,120000.5,5410.001,N,00753.001,E,1,08,0.9,1,M,1,M,,*00\r\n"
            << sentence("GPGGA,120001,5410.060,N,00752.940,W,1,08,0.9,1,M,1,M,,");
        std::ofstream(dir / "void.nmea") << sentence("GPRMC,120000,V,,,,,,,150324,,,N");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const char* name) const { return (dir / name).string(); }

    struct Run {
        int status = -1;
        std::string err;
    };
    Run correct(const std::string& args) {
        const std::string cmd = std::string("'") + VELMORA_CLI + "' correct '" + path("cast.dat") +
                                "' -o '" + path("out.txt") + "' " + args + " 2>'" +
                                path("err.txt") + "'";
        const int st = std::system(cmd.c_str());
        return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, read_all(dir / "err.txt")};
    }
};

TEST_F(CliGps, PositionsInTheCorrectedFile) {
    const Run r = correct("--start 2024-03-15T12:00:00Z --gps '" + path("track.nmea") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("Skipped 1 NMEA sentences that could not be read.\n", 0), 0u) << r.err;
    const std::vector<std::string> lines = lines_of(read_all(dir / "out.txt"));
    ASSERT_EQ(lines.size(), 24u);
    EXPECT_EQ(lines[19], "GPS file: " + path("track.nmea"));
    EXPECT_EQ(lines[20], "Time(ms)\tc400.2\tc650.1\tc715.4\ta400.5\ta650.3\ta714.9\tLat\tLon\t");
    // The record at 12:00:00.5 lies half-way between the fixes of 12:00:00 and 12:00:01 (the
    // one between has a wrong checksum): from 7 deg 53' E to 7 deg 52.94' W across 0 deg.
    const std::string& half = lines[22];
    const std::string tail = "\t54.16716667\t0.0005\t";
    ASSERT_GE(half.size(), tail.size());
    EXPECT_EQ(half.substr(half.size() - tail.size()), tail) << half;
}

TEST_F(CliGps, LogsAndDataSetsThatCannotBeMerged) {
    struct Case {
        std::string args, err;
    };
    const Case cases[] = {
        {"--gps '" + path("track.nmea") + "'",
         "The data set has no start time; set it before merging a GPS log with clock times."},
        {"--start 2024-03-15T12:00:00Z --gps '" + path("void.nmea") + "'",
         path("void.nmea") + ": No GPS fixes in file."},
        {"--start 2024-03-15T12:00:00Z --gps '" + path("none.nmea") + "'", path("none.nmea")},
    };
    for (const Case& c : cases) {
        const Run r = correct(c.args);
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_FALSE(fs::exists(dir / "out.txt")) << c.args;
    }
}

} // namespace
