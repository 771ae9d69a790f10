// End to end: the simulator streams into a pseudo-terminal, `velmora-cli acquire` logs it with
// continuous saving and keeps the raw bytes, and `velmora-cli replay` of those bytes gives the
// very same records.
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app_fakes.h"
#include "simulator.h"

namespace {

std::vector<std::string> lines_of(const std::string& path) {
    std::vector<std::string> out;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

int run(const std::string& command, const std::string& log) {
    const int rc = std::system((command + " 2>" + log).c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

} // namespace

TEST(AcquireCli, LogsFromAPseudoTerminalExactlyWhatReplayDecodes) {
    TempDir dir;
    const std::string dev = std::string(VELMORA_DATA_DIR) + "/sample_hyp.dev";
    sim::Options o;
    o.model = sim::Model::HYP;
    o.dev_path = dev;
    o.rate_hz = 20; // enough records in a few seconds
    auto pty = sim::PtyStream::start(o, dir.file("tty"));
    ::setenv("VELMORA_COM77", dir.file("tty").c_str(), 1);

    const std::string cli = VELMORA_CLI;
    const std::string out = dir.file("live.dat"), raw = dir.file("live.bin");
    const int rc = run(cli + " acquire --dev '" + dev + "' --port 77 --seconds 4 -o '" + out +
                           "' --raw '" + raw + "'",
                       dir.file("acquire.log"));
    pty->stop();
    ASSERT_EQ(rc, 0) << read_text(dir.file("acquire.log"));

    const std::string replayed = dir.file("replayed.dat");
    ASSERT_EQ(run(cli + " replay --dev '" + dev + "' '" + raw + "' -o '" + replayed + "'",
                  dir.file("replay.log")),
              0)
        << read_text(dir.file("replay.log"));

    const std::vector<std::string> live = lines_of(out), again = lines_of(replayed);
    std::size_t label = 0;
    while (label < live.size() && live[label].rfind("Time(ms)", 0) != 0)
        ++label;
    ASSERT_LT(label, live.size());
    EXPECT_GE(live.size() - label - 1, 20u) << "too few records to compare";
    EXPECT_EQ(live, again);
    // The start time of the first record, on line 1 of both and beside the capture.
    const std::string start = read_text(raw + ".start");
    ASSERT_EQ(start.rfind("start=", 0), 0u) << start;
    EXPECT_EQ(live[0], "File created by Velmora version 2.0\t" + start.substr(0, start.size() - 1));
}
