// velmora-bench-core: times the post-processing road on a synthetic HYP data file of
// 100,000 records x 86 channels with onboard temperature and pressure columns (about 150 MB):
// load_file, read_ctd_file + merge_ctd, correct_one_line for every record (temperature and
// salinity from the CTD, water subtraction, proportional scattering) and save_corrected.
// Prints MB/s of input per stage and overall, and the peak resident memory against the size
// of the records' values; the same figures follow as "RESULT <key> <value> <unit>" lines for
// bench/report.sh.
//
//   velmora-bench-core [records] [folder] [--keep]
//
// --keep leaves the generated data, CTD and water files and the corrected file in the folder and
// names them on RESULT lines, so that another program can process the same files.
#include "huge_pages.h"
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "hyp_data.h"
#include "netcdf_writer.h"
#include "products.h"
#include "text.h"

namespace fs = std::filesystem;

namespace {

constexpr int kChannels = 86;
constexpr double kRecordStepMs = 250.0;
constexpr double kCtdStepMs = 1000.0;

// kB of a "VmHWM:" / "VmRSS:" line of /proc/self/status.
long status_kb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(key);
    while (std::getline(in, line))
        if (line.compare(0, n, key) == 0)
            return std::atol(line.c_str() + n);
    return -1;
}

// Starts a new peak-memory measurement (Linux: writing 5 to clear_refs resets VmHWM).
bool reset_peak() {
    std::ofstream f("/proc/self/clear_refs");
    f << "5";
    f.flush();
    return static_cast<bool>(f);
}

double channel_wl(int i) {
    return 400.0 + 4.1 * i;
}

// The instrument data file, written in pieces so that making it costs little memory.
void write_data_file(const fs::path& path, int records) {
    std::ofstream f(path, std::ios::binary);
    std::string buf;
    buf += "File created by Velmora version 2.0\nHYPS benchmark\n1234\n1\nTcal: 20.5 C\n"
           "0.25\t0.25\n19200\n0.25\n86\t; number of wavelengths\n2\t; temperature bins\n"
           "10\t20\n";
    for (int i = 0; i < kChannels; ++i) {
        buf += 'C';
        text::append_g(buf, channel_wl(i) + 0.3, 6);
        buf += "\tA";
        text::append_g(buf, channel_wl(i), 6);
        buf += "\t0\t0.1\t0.2\t0\t0\t0\t0\n";
    }
    buf += "0\t; end of channels\n1\t\t\t; acquisition bin size\nTime(ms)\n";
    for (int j = 0; j < records; ++j) {
        text::append_g(buf, j * kRecordStepMs, 10);
        buf += '\t';
        const double drift = 0.001 * std::sin(j * 0.001);
        for (int i = 0; i < kChannels; ++i) {
            text::append_g(buf, 0.42 + 0.0011 * i + drift + 0.0001 * ((j + i) % 7), 6);
            buf += '\t';
        }
        for (int i = 0; i < kChannels; ++i) {
            text::append_g(buf, 0.13 + 0.0007 * i + drift + 0.0001 * ((j * 3 + i) % 5), 6);
            buf += '\t';
        }
        text::append_g(buf, 14.0 + 0.00002 * j, 6);
        buf += "\t0\t";
        text::append_g(buf, 0.001 * j, 6);
        buf += '\n';
        if (buf.size() > (1 << 20)) {
            f.write(buf.data(), static_cast<std::streamsize>(buf.size()));
            buf.clear();
        }
    }
    f.write(buf.data(), static_cast<std::streamsize>(buf.size()));
}

// CTD log: time, pressure, temperature, conductivity, salinity, one sample a second.
void write_ctd_file(const fs::path& path, int records) {
    std::ofstream f(path, std::ios::binary);
    f << "time\tpres\ttemp\tcond\tsaln\n";
    const int samples = static_cast<int>(records * kRecordStepMs / kCtdStepMs) + 2;
    std::string buf;
    for (int k = 0; k < samples; ++k) {
        text::append_g(buf, k * kCtdStepMs, 10);
        buf += '\t';
        text::append_g(buf, 0.004 * k, 6);
        buf += '\t';
        text::append_g(buf, 12.0 + 0.0001 * k, 6);
        buf += "\t4.2\t";
        text::append_g(buf, 31.0 + 0.00005 * k, 6);
        buf += '\n';
    }
    f << buf;
}

// A water calibration file for the same instrument.
void write_water_file(const fs::path& path) {
    std::ofstream f(path, std::ios::binary);
    f << "File created by Velmora version 2.0\nWater Calibration File: 1.0\n"
         "This file was created on Wed Apr  8 17:49:48 2009\nSerial Number: 1234\n"
         "Water Calibration Temperature: 19.5\nNumber of wavelengths: 86\n0\t";
    std::string labels, values = "0\t";
    for (int i = 0; i < kChannels; ++i) {
        labels += 'c' + text::format_g(channel_wl(i) + 0.3, 6) + '\t';
        values += text::format_g(0.011 + 0.0001 * i, 10) + '\t';
    }
    for (int i = 0; i < kChannels; ++i) {
        labels += 'a' + text::format_g(channel_wl(i), 6) + '\t';
        values += text::format_g(0.007 + 0.0001 * i, 10) + '\t';
    }
    f << labels << '\n' << values;
}

// The corrected records with their merged CTD columns as a product table (native grid).
ProductTable corrected_table(const HYP_Data& d) {
    ProductTable t;
    t.a_wavelengths = d.a_wavelengths;
    t.c_wavelengths = d.c_wavelengths;
    t.info.instrument = "HYP";
    t.info.input_file = "bench.dat";
    for (std::size_t i = 0; i < d.corrected_records.size(); ++i) {
        const hyp_data& r = d.corrected_records[i];
        t.time.push_back(r.time);
        t.a.insert(t.a.end(), r.a_values.begin(), r.a_values.end());
        t.c.insert(t.c.end(), r.c_values.begin(), r.c_values.end());
        t.temperature.push_back(d.ctd_list.samples[i].temperature);
        t.salinity.push_back(d.ctd_list.samples[i].salinity);
        t.pressure.push_back(d.ctd_list.samples[i].pressure);
    }
    return t;
}

struct Stage {
    const char* name;
    const char* key;
    double seconds;     // wall clock
    double cpu_seconds; // this process's CPU time: the one-core figure on a busy machine
    long peak_kb;
};

// One machine-readable figure: "RESULT <key> <value> <unit>".
void result(const char* key, double value, const char* unit) {
    std::printf("RESULT %s %.6g %s\n", key, value, unit);
}

double cpu_now() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

} // namespace

int main(int argc, char** argv) {
    request_huge_pages(argv); // as the programs do, so the figures are theirs
    int records = 100000;
    fs::path base = fs::temp_directory_path();
    bool keep = false;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0)
            keep = true;
        else if (positional++ == 0)
            records = std::atoi(argv[i]);
        else
            base = argv[i];
    }
    if (records <= 0) {
        std::fprintf(stderr, "usage: velmora-bench-core [records] [folder] [--keep]\n");
        return 2;
    }
    std::string tmpl = (base / "velmora_bench_XXXXXX").string();
    if (!mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = tmpl;
    const fs::path data = dir / "bench.dat", ctd = dir / "bench.ctd", water = dir / "bench.wcf",
                   out = dir / "bench_corrected.dat", out_nc = dir / "bench_corrected.nc";
    std::printf("velmora-bench-core: %d records x %d channels in %s\n", records, kChannels,
                dir.c_str());
    write_data_file(data, records);
    write_ctd_file(ctd, records);
    write_water_file(water);
    const double mb = static_cast<double>(fs::file_size(data)) / 1e6;
    std::printf("data file %.1f MB, CTD file %.2f MB\n\n", mb,
                static_cast<double>(fs::file_size(ctd)) / 1e6);

    using clock = std::chrono::steady_clock;
    const bool per_stage_peak = reset_peak();
    std::vector<Stage> stages;
    auto timed = [&](const char* name, const char* key, auto&& body) {
        if (per_stage_peak)
            reset_peak();
        const auto t0 = clock::now();
        const double c0 = cpu_now();
        body();
        const double c = cpu_now() - c0;
        const double s = std::chrono::duration<double>(clock::now() - t0).count();
        stages.push_back({name, key, s, c, status_kb("VmHWM:")});
    };

    int status = 0;
    try {
        HYP_Data d;
        timed("load_file", "load", [&] { d.load_file(data.string(), false); });
        timed("read_ctd_file + merge_ctd", "ctd_merge", [&] {
            d.ctd_loaded = true;
            d.ctd_file.read_ctd_file(ctd.string(), 1, 3, 5, 2);
            d.merge_ctd();
        });
        d.load_file(water.string(), true); // one line: not timed
        d.temp_source = TempSource::CTD;
        d.saln_source = SalnSource::CTD;
        d.do_temp = d.do_saln = d.do_water = d.do_scat = true;
        d.scat_method = ScatMethod::Proportional;
        d.set_scat_ref(715.0);
        timed("correct (correct_one_line, all on)", "correct", [&] { d.fill_corrected_records(); });
        timed("save_corrected", "save", [&] { d.save_corrected(out.string(), true, false); });

        double total = 0, total_cpu = 0;
        std::printf("%-38s %10s %10s %10s %10s %12s\n", "stage", "wall s", "MB/s", "CPU s",
                    "MB/s CPU", "peak RSS MB");
        for (const Stage& st : stages) {
            total += st.seconds;
            total_cpu += st.cpu_seconds;
            std::printf("%-38s %10.3f %10.1f %10.3f %10.1f", st.name, st.seconds, mb / st.seconds,
                        st.cpu_seconds, mb / st.cpu_seconds);
            if (per_stage_peak)
                std::printf(" %12.1f", st.peak_kb / 1024.0);
            std::printf("\n");
        }
        std::printf("%-38s %10.3f %10.1f %10.3f %10.1f   (target >= 100 MB/s)\n", "overall", total,
                    mb / total, total_cpu, mb / total_cpu);

        // Where the correct stage's time goes: the same calls with their results dropped at once
        // (no memory kept, so no fresh pages and no heap growth).
        {
            const double c0 = cpu_now();
            double sink = 0;
            for (std::size_t i = 0; i < d.records.size(); ++i)
                sink += d.correct_one_line(i).a_values[0];
            std::printf("%-38s %10s %10s %10.3f %10.1f   (checksum %g)\n",
                        "correct_one_line, results dropped", "", "", cpu_now() - c0,
                        mb / (cpu_now() - c0), sink);
        }

        // The time view's call: one channel over all records.
        const auto t0 = clock::now();
        const std::vector<double> series = d.correct_series(40, true);
        const double ts = std::chrono::duration<double>(clock::now() - t0).count();
        std::printf("%-38s %8.3f ms for %zu records\n", "correct_series (one a channel)", ts * 1e3,
                    series.size());

        const double values_mb =
            static_cast<double>(d.records.size()) * 2 * kChannels * sizeof(double) / (1 << 20);
        long peak_kb = 0;
        for (const Stage& st : stages)
            peak_kb = std::max(peak_kb, st.peak_kb);
        if (!per_stage_peak)
            peak_kb = status_kb("VmHWM:");
        std::printf("\nrecords' values %.1f MB; peak RSS %.1f MB = %.2f x values (target < 3)\n",
                    values_mb, peak_kb / 1024.0, peak_kb / 1024.0 / values_mb);
        std::printf("corrected file %.1f MB\n", static_cast<double>(fs::file_size(out)) / 1e6);

        // The same values and CTD columns as a NetCDF file, beside the road above (its table is
        // made untimed and its memory kept out of the figures above).
        const ProductTable table = corrected_table(d);
        const auto n0 = clock::now();
        const double nc0 = cpu_now();
        write_netcdf(out_nc.string(), table, "velmora-bench-core");
        const double netcdf_cpu = cpu_now() - nc0;
        const double netcdf_wall = std::chrono::duration<double>(clock::now() - n0).count();
        const double save_wall = std::find_if(stages.begin(), stages.end(), [](const Stage& st) {
                                     return std::strcmp(st.key, "save") == 0;
                                 })->seconds;
        std::printf("%-38s %10.3f s wall, %.3f s CPU: %.2f x save_corrected (target <= 1); "
                    "NetCDF file %.1f MB\n",
                    "write_netcdf", netcdf_wall, netcdf_cpu, netcdf_wall / save_wall,
                    static_cast<double>(fs::file_size(out_nc)) / 1e6);

        // QC flags and 60 s time bins of the same corrected values, against the correct stage
        // (what --qc --bin time:60 add to a plain correction).
        {
            ProductTable flagged = table;
            ProcessingOptions::Qc qc;
            qc.apply = true;
            const auto q0 = clock::now();
            apply_qc(flagged, qc);
            const double qc_wall = std::chrono::duration<double>(clock::now() - q0).count();
            ProcessingOptions::Binning bins;
            bins.kind = BinKind::Time;
            bins.width = 60.0;
            const auto b0 = clock::now();
            const ProductTable binned = bin_products(flagged, bins);
            const double bin_wall = std::chrono::duration<double>(clock::now() - b0).count();
            const double correct_wall =
                std::find_if(stages.begin(), stages.end(), [](const Stage& st) {
                    return std::strcmp(st.key, "correct") == 0;
                })->seconds;
            std::printf("%-38s %10.3f s wall (QC %.3f s, %zu bins %.3f s): %.2f x correct "
                        "(target <= 0.5)\n",
                        "apply_qc + bin_products (60 s)", qc_wall + bin_wall, qc_wall,
                        binned.rows(), bin_wall, (qc_wall + bin_wall) / correct_wall);
            result("core.qc.wall", qc_wall, "s");
            result("core.bin60.wall", bin_wall, "s");
            result("core.qc_bin_per_correct", (qc_wall + bin_wall) / correct_wall, "x");
        }

        result("core.records", static_cast<double>(d.records.size()), "records");
        result("core.channels", kChannels, "channels");
        result("core.data_mb", mb, "MB");
        result("core.corrected_mb", static_cast<double>(fs::file_size(out)) / 1e6, "MB");
        result("core.netcdf_mb", static_cast<double>(fs::file_size(out_nc)) / 1e6, "MB");
        result("core.netcdf.wall", netcdf_wall, "s");
        result("core.netcdf.cpu", netcdf_cpu, "s");
        for (const Stage& st : stages) {
            const std::string k = std::string("core.") + st.key;
            result((k + ".wall").c_str(), st.seconds, "s");
            result((k + ".cpu").c_str(), st.cpu_seconds, "s");
            if (per_stage_peak)
                result((k + ".peak_rss").c_str(), st.peak_kb / 1024.0, "MB");
        }
        result("core.total.wall", total, "s");
        result("core.total.cpu", total_cpu, "s");
        result("core.values_mb", values_mb, "MB");
        result("core.peak_rss", peak_kb / 1024.0, "MB");
        if (keep) {
            // Paths hold no blanks in the report's folders; the value is the rest of the line.
            std::printf("RESULT core.file.data %s path\n", data.c_str());
            std::printf("RESULT core.file.ctd %s path\n", ctd.c_str());
            std::printf("RESULT core.file.water %s path\n", water.c_str());
            std::printf("RESULT core.file.corrected %s path\n", out.c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-bench-core: %s\n", e.what());
        status = 1;
    }
    if (!keep)
        fs::remove_all(dir);
    return status;
}
