// velmora-bench-link: replays a 200 MB simulated capture of each instrument model through its
// reader in 4096-byte blocks, as the capture replay does, and prints MB/s, records/s and the
// memory the replay holds against the capture and the decoded values.  The figures follow as
// "RESULT <key> <value> <unit>" lines for bench/report.sh.
#include "huge_pages.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "acquisition_setup.h"
#include "flw_reader.h"
#include "hyp_reader.h"
#include "parallel.h"
#include "simulator.h"

namespace {

// CPU time of this process: the figure that does not depend on other work on the machine.
double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

void result(const std::string& key, double value, const char* unit) {
    std::printf("RESULT %s %.10g %s\n", key.c_str(), value, unit);
}

// Resident memory now, MB: what a run holds, whatever an earlier run of the process peaked at.
double rss_now_mb() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

// User and system CPU seconds of this process: the system part is mostly the kernel clearing
// fresh pages for the records, which depends on the machine far more than the decoding does.
void user_system_seconds(double& user, double& system) {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    user = static_cast<double>(u.ru_utime.tv_sec) + u.ru_utime.tv_usec / 1e6;
    system = static_cast<double>(u.ru_stime.tv_sec) + u.ru_stime.tv_usec / 1e6;
}

long peak_rss_mb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

// A capture of at least `size` bytes: a few thousand simulated records, repeated.
std::vector<std::uint8_t> make_capture(sim::Model model, const std::string& dev, std::size_t size) {
    sim::Options o;
    o.model = model;
    o.dev_path = dev;
    sim::Simulator s(o);
    s.set_keep_intended(false);
    std::vector<std::uint8_t> tile;
    s.append_records(tile, model == sim::Model::HYP ? 4000 : 1000);
    std::vector<std::uint8_t> out;
    out.reserve(size + tile.size());
    while (out.size() < size)
        out.insert(out.end(), tile.begin(), tile.end());
    return out;
}

// Decoded values of a replay: one a and one c value per channel and record.
double values_mb(const TakenRecords& t) {
    double values = 0;
    for (const hyp_data& r : t.records)
        values += static_cast<double>(r.a_values.size() + r.c_values.size());
    return values * sizeof(double) / 1e6;
}

// The replay as the app and the CLI run it: the records are taken out of the reader block by
// block into the data set's list, the raw capture stays in the reader.
void run(const char* name, const std::string& key, sim::Model model, const std::string& dev,
         std::size_t size) {
    const std::vector<std::uint8_t> capture = make_capture(model, dev, size);
    std::unique_ptr<parent_reader> r;
    if (model == sim::Model::HYP)
        r = std::make_unique<hyp_reader>();
    else
        r = std::make_unique<flw_reader>();
    r->open_device_file(dev);
    const long rss_before = peak_rss_mb();
    const double held_before = rss_now_mb();
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = cpu_seconds();
    double user0 = 0, system0 = 0, user1 = 0, system1 = 0;
    user_system_seconds(user0, system0);
    TakenRecords taken;
    feed_bytes(*r, capture.data(), capture.size(), 4096, &taken);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double c = cpu_seconds() - c0;
    user_system_seconds(user1, system1);
    const double mb = capture.size() / 1e6;
    const double n = static_cast<double>(taken.records.size());
    const double growth = static_cast<double>(peak_rss_mb() - rss_before);
    const double held = rss_now_mb() - held_before;
    // What the decode must hold: the capture in the reader plus the decoded values.
    const double budget = mb + values_mb(taken);
    std::printf(
        "%s: %.1f MB, %zu records (%d lost)\n"
        "    CPU %.3f s: %.0f MB/s, %.0f records/s;  wall %.3f s: %.0f MB/s\n"
        "    of the CPU time: user %.3f s (%.0f MB/s), system %.3f s\n"
        "    holds %.0f MB = %.2f x (capture + decoded values, %.0f MB); peak RSS +%.0f MB\n",
        name, mb, taken.records.size(), static_cast<int>(r->lost_records), c, mb / c, n / c, s,
        mb / s, user1 - user0, mb / (user1 - user0), system1 - system0, held, held / budget, budget,
        growth);
    const std::string k = "link." + key;
    result(k + ".mb", mb, "MB");
    result(k + ".records", n, "records");
    result(k + ".lost", static_cast<double>(r->lost_records), "records");
    result(k + ".cpu_mbps", mb / c, "MB/s");
    result(k + ".wall_mbps", mb / s, "MB/s");
    result(k + ".records_per_s", n / c, "records/s");
    result(k + ".peak_rss_growth", growth, "MB");
    result(k + ".held", held, "MB");
    result(k + ".held_over_capture_and_values", held / budget, "x");
    std::fflush(stdout);
}

// The decoder alone: the same replay, with the records handed on in batches and dropped (as a
// consumer that writes them out would), so memory stays flat.
void run_streaming(const char* name, const std::string& key, sim::Model model,
                   const std::string& dev, std::size_t size) {
    const std::vector<std::uint8_t> capture = make_capture(model, dev, size);
    std::unique_ptr<parent_reader> r;
    if (model == sim::Model::HYP)
        r = std::make_unique<hyp_reader>();
    else
        r = std::make_unique<flw_reader>();
    r->open_device_file(dev);
    r->raw_bytes.reserve(capture.size());
    std::size_t records = 0;
    std::vector<hyp_data> batch;
    const double c0 = cpu_seconds();
    for (std::size_t done = 0; done < capture.size(); done += 4096) {
        const std::size_t n = std::min<std::size_t>(4096, capture.size() - done);
        r->process_bytes(capture.data() + done, n);
        records += r->take_records(batch, nullptr);
        batch.clear();
        r->packets.keep_newest_only();
    }
    const double c = cpu_seconds() - c0;
    const double mb = capture.size() / 1e6;
    std::printf("%s decoder only: CPU %.3f s: %.0f MB/s, %.0f records/s\n", name, c, mb / c,
                records / c);
    result("link." + key + ".decoder_cpu_mbps", mb / c, "MB/s");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    request_huge_pages(argv); // as the programs do, so the figures are theirs
    std::size_t mb = 200;
    if (argc > 1)
        mb = static_cast<std::size_t>(std::atol(argv[1]));
    std::string data = VELMORA_DATA_DIR;
    if (const char* d = std::getenv("VELMORA_DATA_DIR"))
        data = d;
    std::printf("velmora-bench-link: replay of %zu MB simulated captures, 4096-byte blocks, HYP "
                "on one core (packet %zu bytes, record %zu bytes)\n",
                mb, sizeof(packet), sizeof(hyp_data));
    const std::string only = argc > 2 ? argv[2] : "";
    if (only == "stream") {
        run_streaming("HYP", "hyp", sim::Model::HYP, data + "/sample_hyp.dev", mb * 1000000);
        run_streaming("FLW", "flw", sim::Model::FLW, data + "/sample_flw.dev", mb * 1000000);
    } else {
        if (only.empty() || only == "hyp")
            run("HYP (85 channels)", "hyp", sim::Model::HYP, data + "/sample_hyp.dev",
                mb * 1000000);
        if (only.empty() || only == "flw")
            run("FLW (9 channels), all cores", "flw", sim::Model::FLW, data + "/sample_flw.dev",
                mb * 1000000);
        // The values of an FLW replay are converted on every processor; one thread shows what
        // that gains.  Alone in its process, since memory an earlier run freed is found much
        // faster than fresh memory.
        if (only == "flw1") {
            parallel::tuning().threads = 1;
            run("FLW (9 channels), 1 thread", "flw_1t", sim::Model::FLW, data + "/sample_flw.dev",
                mb * 1000000);
        }
    }
    result("link.peak_rss", static_cast<double>(peak_rss_mb()), "MB");
    return 0;
}
