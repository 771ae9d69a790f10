// Redraw costs of the views with a day of records at 4 Hz (345,600), offscreen.  The figures
// follow as "RESULT <key> <value> <unit>" lines for bench/report.sh.
//   velmora-bench-views [records]
#include "huge_pages.h"
#include <QApplication>
#include <QScrollBar>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/resource.h>

#include "chart_widget.h"
#include "sample_data.h"
#include "tfr_spectral.h"
#include "tfr_time.h"

namespace {

using Clock = std::chrono::steady_clock;

double lastCpuMs = 0.0;

// Wall-clock average; the process CPU time per call goes to lastCpuMs (other work on a shared
// machine inflates the wall-clock figure, not the CPU figure).
template <class F> double average_ms(int repeats, F&& f) {
    const std::clock_t cpu = std::clock();
    const auto start = Clock::now();
    for (int i = 0; i < repeats; ++i)
        f(i);
    lastCpuMs = 1000.0 * double(std::clock() - cpu) / CLOCKS_PER_SEC / repeats;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / repeats;
}

// The wall-clock and CPU milliseconds of the last average_ms.
void result_ms(const char* key, double wall_ms) {
    std::printf("RESULT views.%s.wall %.6g ms\n", key, wall_ms);
    std::printf("RESULT views.%s.cpu %.6g ms\n", key, lastCpuMs);
}

} // namespace

int main(int argc, char** argv) {
    request_huge_pages(argv); // as the programs do, so the figures are theirs
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::size_t records = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 345600;
    std::printf("views benchmark: %zu records, 9 channels, offscreen, chart 900 x 500\n", records);

    auto d = sample::make_data(records);
    d->setup_ts_coefs();
    d->set_scat_ref(715);
    d->fac_cal_temp = 20;
    d->const_temp = 12;
    d->const_saln = 33;
    d->do_temp = true;
    d->do_saln = true;

    TFr_Time time;
    time.resize(900, 560);
    time.show();
    const double attach = average_ms(1, [&](int) {
        time.AttachData(d.get());
        time.iXYPlot1->replotNow();
    });
    std::printf("time view AttachData + draw:              %8.2f ms (cpu %6.2f)\n", attach,
                lastCpuMs);
    result_ms("time_attach", attach);
    // A changed setting makes every Refresh correct both series again (the 30 ms figure).
    const double refresh = average_ms(20, [&](int i) {
        d->const_temp = 12 + 0.001 * (i + 1);
        time.Refresh();
        time.iXYPlot1->replotNow();
    });
    std::printf(
        "time view Refresh (2 x correct_series + draw): %8.2f ms (cpu %6.2f)   (target < 30)\n",
        refresh, lastCpuMs);
    result_ms("time_refresh", refresh);
    const double series = average_ms(20, [&](int) {
        auto a = d->correct_series(3, true);
        auto c = d->correct_series(3, false);
    });
    std::printf("  of which 2 x correct_series:             %8.2f ms (cpu %6.2f)\n", series,
                lastCpuMs);
    result_ms("time_series", series);
    const double draw = average_ms(20, [&](int) { time.iXYPlot1->replotNow(); });
    std::printf("  of which the draw alone:                 %8.2f ms (cpu %6.2f)\n", draw,
                lastCpuMs);
    result_ms("time_draw", draw);

    // Live: the window scrolls at the newest record; one tick brings one instrument record's
    // worth of records (10 for the filter-wheel model).
    auto live = sample::make_data(0);
    live->setup_ts_coefs();
    live->fac_cal_temp = 20;
    live->const_temp = 12;
    live->do_temp = true;
    TFr_Time liveView;
    liveView.resize(900, 560);
    liveView.show();
    liveView.AttachData(live.get()); // as Start does: no records yet, a 20 s window
    liveView.SetLiveMode(true);
    sample::append_records(*live, records - 500);
    liveView.Refresh();
    const double tick = average_ms(50, [&](int) {
        sample::append_records(*live, 10);
        liveView.NewRecords();
        liveView.Refresh();
        liveView.iXYPlot1->replotNow();
    });
    std::printf("live time view, one tick of 10 records:    %8.2f ms (cpu %6.2f)   (target < 5)\n",
                tick, lastCpuMs);
    result_ms("live_tick", tick);

    TFr_Spectral spectral;
    spectral.resize(900, 560);
    spectral.show();
    spectral.AttachData(d.get());
    const double spec = average_ms(50, [&](int i) {
        spectral.SB_Number->setValue(1 + (i * 6911) % static_cast<int>(records));
        spectral.iPlot1->replotNow();
    });
    std::printf("spectral view Refresh + draw:              %8.2f ms (cpu %6.2f)   (target < 5)\n",
                spec, lastCpuMs);
    result_ms("spectral", spec);
    spectral.SetLiveMode(true);
    const double specLive = average_ms(50, [&](int) {
        spectral.Refresh();
        spectral.iPlot1->replotNow();
    });
    std::printf("spectral view live Refresh + draw:         %8.2f ms (cpu %6.2f)   (target < 5)\n",
                specLive, lastCpuMs);
    result_ms("spectral_live", specLive);
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("RESULT views.records %zu records\n", records);
    std::printf("RESULT views.peak_rss %.6g MB\n", u.ru_maxrss / 1024.0);
    return 0;
}
