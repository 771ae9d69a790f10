// velmora-bench-app: the cost of one acquisition tick that brings new records, with 1 h, 6 h
// and 24 h of HYP records (86 channels, 4 per second) already in the data set.  The port is a
// byte queue filled by the simulator; views are left out; continuous saving is on.  The figures
// follow as "RESULT <key> <value> <unit>" lines for bench/report.sh.
#include "huge_pages.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "acquisition_controller.h"
#include "app_fakes.h"
#include "app_services.h"
#include "simulator.h"

namespace {

namespace fs = std::filesystem;
using Clock_ = std::chrono::steady_clock;

constexpr int kChannels = 86;
constexpr std::size_t kRecordsPerHour = 4 * 3600;

struct PortQueue {
    std::vector<std::uint8_t> bytes;
    std::size_t pos = 0;
};

class QueueSerial : public Serial {
  public:
    explicit QueueSerial(std::shared_ptr<PortQueue> q) : q_(std::move(q)) {}
    void open(int n, const std::string&) override { port = n; }
    void read(std::uint8_t* buffer, int& count) override {
        const std::size_t n = std::min<std::size_t>(count, q_->bytes.size() - q_->pos);
        std::copy_n(q_->bytes.data() + q_->pos, n, buffer);
        q_->pos += n;
        count = static_cast<int>(n);
    }
    void close() override { port = 0; }

  private:
    std::shared_ptr<PortQueue> q_;
};

void write_devfile(const std::string& path) {
    std::ofstream out(path);
    out << "HYP bench meter\n0x53000042\t;serial number\n1\ntcal: 21.5 C\n0\t0\n115200\n0.25\n"
        << kChannels << "\n3\n10\t20\t30\n";
    for (int i = 0; i < kChannels; ++i) {
        const double c = 400 + 4.0 * i, a = c + 0.6;
        out << "C" << c << "\tA" << a << "\t0\t0.12\t0.05\t0.001\t0\t-0.001\t0.002\t0\t-0.002\n";
    }
    out << "0\t; trailing\n1\t; trailing\n";
}

long rss_kb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return -1;
}

} // namespace

int main(int, char** argv) {
    request_huge_pages(argv); // as the programs do, so the figures are theirs
    const fs::path dir =
        fs::temp_directory_path() / ("velmora-bench-app-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string dev = (dir / "bench.dev").string();
    write_devfile(dev);

    // Ten minutes of instrument stream, fed over and over.
    sim::Options o;
    o.model = sim::Model::HYP;
    o.dev_path = dev;
    sim::Simulator simulator(o);
    simulator.set_keep_intended(false);
    std::vector<std::uint8_t> block;
    simulator.append_records(block, 2400);
    std::vector<std::uint8_t> tail; // what the port delivers during the measured ticks
    simulator.append_records(tail, 800);

    auto queue = std::make_shared<PortQueue>();
    Workspace ws;
    ws.reg = VelmoraSettings((dir / "settings.json").string());
    NullDialogs dialogs;
    dialogs.report = [](const std::string&, const std::string& text) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    };
    dialogs.save_answer = (dir / "live.dat").string();
    NullViews views;
    FakeClock clock;
    AcquisitionController acq(AppContext{ws, dialogs, views, clock}, [queue](DeviceKind kind) {
        auto r = default_reader_factory()(kind);
        r->make_serial = [queue] { return std::make_unique<QueueSerial>(queue); };
        return r;
    });
    ws.E_Device = dev;
    ws.UD_Port = 1;
    acq.B_StartClick();
    queue->bytes = block;
    for (int i = 0; i < 10 && ws.acqState != Running; ++i) {
        clock.advance_ms(100);
        acq.Timer1Timer();
    }
    if (ws.acqState != Running) {
        std::fprintf(stderr, "acquisition did not reach the running state\n");
        return 1;
    }

    std::printf("velmora-bench-app: acquisition tick, HYP %d channels, 4 records/s, fake port, "
                "no views, continuous saving on\n",
                kChannels);
    std::printf("%-6s %10s %10s %10s %10s %10s %6s %6s\n", "data", "records", "median ms",
                "mean ms", "max ms", "rec/tick", "lists", "raw");
    std::printf("(lists, raw: ticks that moved the data set's record list or the raw capture to a "
                "larger buffer)\n");

    std::vector<double> grow_ms;
    const std::size_t checkpoints[] = {kRecordsPerHour, 6 * kRecordsPerHour, 24 * kRecordsPerHour};
    for (std::size_t target : checkpoints) {
        // Fill the reader straight through its decoder (what a day of ticks would have done),
        // then let one tick bring the data set up to date; only new records reach the file.
        while (ws.reader->decoded_count < target)
            ws.reader->process_bytes(block.data(), block.size());
        queue->bytes = tail;
        queue->pos = 0;
        clock.advance_ms(100);
        acq.Timer1Timer();
        ws.data->written_count = static_cast<std::uint32_t>(ws.data->records.size());

        // Ticks that each bring what one poll takes from the port (2048 bytes, 2 or 3 records).
        double total = 0, worst = 0;
        std::vector<double> times;
        int raw_moves = 0, record_moves = 0;
        std::size_t brought = 0;
        const int rounds = 200;
        for (int i = 0; i < rounds; ++i) {
            const std::size_t before = ws.data->records.size();
            const std::size_t cap_rec = ws.data->records.capacity();
            const std::size_t cap_raw = ws.reader->raw_bytes.capacity();
            clock.advance_ms(100);
            const auto t0 = Clock_::now();
            acq.Timer1Timer();
            const double ms = std::chrono::duration<double, std::milli>(Clock_::now() - t0).count();
            total += ms;
            worst = std::max(worst, ms);
            times.push_back(ms);
            if (cap_raw != ws.reader->raw_bytes.capacity())
                ++raw_moves;
            if (cap_rec != ws.data->records.capacity())
                ++record_moves;
            brought += ws.data->records.size() - before;
        }
        // The raw capture is one growing buffer (the decoder's working area); time the tick at
        // which it has to move to a larger one.
        ws.reader->raw_bytes.shrink_to_fit();
        clock.advance_ms(100);
        const auto g0 = Clock_::now();
        acq.Timer1Timer();
        grow_ms.push_back(std::chrono::duration<double, std::milli>(Clock_::now() - g0).count());

        std::sort(times.begin(), times.end());
        std::printf("%3zu h  %10zu %10.3f %10.3f %10.3f %10.2f %6d %6d\n", target / kRecordsPerHour,
                    ws.data->records.size(), times[times.size() / 2], total / rounds, worst,
                    double(brought) / rounds, record_moves, raw_moves);
        const std::size_t hours = target / kRecordsPerHour;
        std::printf("RESULT app.tick_%zuh.records %zu records\n", hours, ws.data->records.size());
        std::printf("RESULT app.tick_%zuh.median %.6g ms\n", hours, times[times.size() / 2]);
        std::printf("RESULT app.tick_%zuh.mean %.6g ms\n", hours, total / rounds);
        std::printf("RESULT app.tick_%zuh.max %.6g ms\n", hours, worst);
        std::printf("RESULT app.tick_%zuh.grow %.6g ms\n", hours, grow_ms.back());
        std::fflush(stdout);
    }
    std::printf("tick that moves the raw capture to a larger buffer: %.1f ms (1 h), %.1f ms (6 h), "
                "%.1f ms (24 h)\n",
                grow_ms[0], grow_ms[1], grow_ms[2]);
    std::printf("process memory at 24 h: resident %.0f MB (peak %.0f MB); raw capture %.0f MB\n",
                rss_kb("VmRSS:") / 1024.0, rss_kb("VmHWM:") / 1024.0,
                ws.reader->raw_bytes.size() / 1048576.0);
    std::printf("RESULT app.peak_rss %.6g MB\n", rss_kb("VmHWM:") / 1024.0);

    acq.B_StopClick();
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
