// The instrument-link commands: device file and capture summaries, replay and simulation.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

#include "acquisition_setup.h"
#include "commands.h"
#include "devfile.h"
#include "flw_reader.h"
#include "hyp_data.h"
#include "hyp_reader.h"
#include "simulator.h"
#include "text.h"

namespace {

// Options of the form "--name value" or "-o value", and positional arguments.
struct Args {
    std::string dev, out, pty, model, faults;
    std::string records, rate, seed, serial;
    std::string positional;
    bool help = false;
    std::string error;
};

Args parse_args(int argc, char** argv) {
    Args a;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                a.error = "missing value after " + arg;
                return;
            }
            into = argv[++i];
        };
        if (arg == "--help" || arg == "-h")
            a.help = true;
        else if (arg == "--dev")
            value(a.dev);
        else if (arg == "-o" || arg == "--output")
            value(a.out);
        else if (arg == "--pty")
            value(a.pty);
        else if (arg == "--model")
            value(a.model);
        else if (arg == "--faults")
            value(a.faults);
        else if (arg == "--records")
            value(a.records);
        else if (arg == "--rate")
            value(a.rate);
        else if (arg == "--seed")
            value(a.seed);
        else if (arg == "--serial")
            value(a.serial);
        else if (!arg.empty() && arg[0] == '-')
            a.error = "unknown option " + arg;
        else if (a.positional.empty())
            a.positional = arg;
        else
            a.error = "unexpected argument " + arg;
        if (!a.error.empty())
            break;
    }
    return a;
}

int usage_error(const char* usage, const std::string& error) {
    if (!error.empty())
        std::fprintf(stderr, "velmora-cli: %s\n", error.c_str());
    std::fputs(usage, stderr);
    return 2;
}

std::unique_ptr<parent_reader> reader_for(const std::string& dev_path) {
    switch (peek_device_kind(dev_path)) {
    case DeviceKind::HYP:
        return std::make_unique<hyp_reader>();
    case DeviceKind::FLW:
        return std::make_unique<flw_reader>();
    default:
        return nullptr;
    }
}

std::string g(double v) {
    return text::format_g(v, 6);
}

std::string range_text(const std::vector<double>& v) {
    if (v.empty())
        return "none";
    double lo = v.front(), hi = v.front();
    for (double x : v) {
        lo = x < lo ? x : lo;
        hi = x > hi ? x : hi;
    }
    return g(lo) + " to " + g(hi);
}

// Decodes a capture with the device file's reader; prints the failure and returns null.
std::unique_ptr<parent_reader> decode_capture(const std::string& dev_path,
                                              const std::string& capture, CaptureFeed& feed) {
    std::unique_ptr<parent_reader> reader = reader_for(dev_path);
    if (!reader) {
        std::fputs("Invalid device file\n", stderr);
        return nullptr;
    }
    try {
        reader->open_device_file(dev_path);
        feed = feed_capture(*reader, capture);
    } catch (const VelmoraError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return nullptr;
    }
    return reader;
}

std::atomic<bool> stop_streaming{false};

extern "C" void on_stop_signal(int) {
    stop_streaming = true;
}

} // namespace

int cmd_info_device(int argc, char** argv) {
    static const char* const usage = "Usage: velmora-cli info DEV.dev\n";
    const Args a = parse_args(argc, argv);
    if (a.help)
        return std::fputs(usage, stdout), 0;
    if (!a.error.empty() || a.positional.empty())
        return usage_error(usage, a.error);
    devfile d;
    try {
        d.parse(a.positional);
    } catch (const VelmoraError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("device file: %s\n", a.positional.c_str());
    std::printf("model: %s\n", d.is_flw ? "FLW" : "HYP");
    std::printf("serial number: %u\n", static_cast<unsigned>(d.serial_number));
    std::printf("line speed: %d bit/s\n", static_cast<int>(d.baud_rate));
    std::printf("path length: %s m\n", g(d.path_length).c_str());
    if (d.factory_cal_unparsed)
        std::printf("factory calibration temperature: not given\n");
    else
        std::printf("factory calibration temperature: %s C\n", g(d.factory_cal_temp).c_str());
    std::printf("channels: %zu\n", d.a_wl.size());
    std::printf("a wavelengths (nm): %s\n", range_text(d.a_wl).c_str());
    std::printf("c wavelengths (nm): %s\n", range_text(d.c_wl).c_str());
    std::string pairs;
    if (d.a_wl.size() <= 20) {
        for (std::size_t i = 0; i < d.a_wl.size(); ++i) {
            if (i > 0)
                pairs.push_back(' ');
            pairs.append(g(d.c_wl[i]));
            pairs.push_back('/');
            pairs.append(g(d.a_wl[i]));
        }
        std::printf("channels c/a (nm): %s\n", pairs.c_str());
    }
    std::printf("temperature bins: %u, %s C\n", static_cast<unsigned>(d.num_tempbins),
                range_text(d.temp_bins).c_str());
    return 0;
}

int cmd_info_capture(int argc, char** argv) {
    static const char* const usage = "Usage: velmora-cli info --dev DEV CAPTURE\n";
    const Args a = parse_args(argc, argv);
    if (a.help)
        return std::fputs(usage, stdout), 0;
    if (!a.error.empty() || a.positional.empty() || a.dev.empty())
        return usage_error(usage, a.error);
    CaptureFeed feed;
    std::unique_ptr<parent_reader> r = decode_capture(a.dev, a.positional, feed);
    if (!r)
        return 1;
    std::printf("capture: %s (%zu bytes)\n", a.positional.c_str(), feed.bytes);
    std::printf("model: %s\n", r->dev.is_flw ? "FLW" : "HYP");
    std::printf("records: %zu\n", r->decoded_records.size());
    if (!r->dev.is_flw)
        std::printf("lost records: %d\n", static_cast<int>(r->lost_records));
    if (feed.decode_errors > 0)
        std::printf("header errors: %zu (first: %s)\n", feed.decode_errors,
                    feed.first_error.c_str());
    if (!r->decoded_records.empty())
        std::printf(
            "time span: %s s\n",
            g((r->decoded_records.back().time - r->decoded_records.front().time) / 1000.0).c_str());
    if (r->instrument_serial >= 0)
        std::printf("serial number: %d%s\n", static_cast<int>(r->instrument_serial),
                    static_cast<std::uint32_t>(r->instrument_serial) == r->dev.serial_number
                        ? ""
                        : " (device file: other)");
    else
        std::printf("serial number: none seen\n");
    return 0;
}

int cmd_replay(int argc, char** argv) {
    static const char* const usage = "Usage: velmora-cli replay --dev DEV CAPTURE -o OUT\n";
    const Args a = parse_args(argc, argv);
    if (a.help)
        return std::fputs(usage, stdout), 0;
    if (!a.error.empty() || a.positional.empty() || a.dev.empty() || a.out.empty())
        return usage_error(usage, a.error);
    CaptureFeed feed;
    std::unique_ptr<parent_reader> r = decode_capture(a.dev, a.positional, feed);
    if (!r)
        return 1;
    if (r->decoded_records.empty()) {
        std::fputs("Unable to read binary file.  Do you have the right devfile specified?\n",
                   stderr);
        return 1;
    }
    try {
        HYP_Data data;
        setup_data_from_devfile(data, r->dev);
        data.temp_source = 1;
        data.saln_source = 1;
        copy_decoded_records(data, *r);
        data.save_records(a.out);
    } catch (const VelmoraError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "%zu records decoded, %d records lost\n", r->decoded_records.size(),
                 static_cast<int>(r->lost_records));
    if (feed.decode_errors > 0)
        std::fprintf(stderr, "%zu header errors skipped (first: %s)\n", feed.decode_errors,
                     feed.first_error.c_str());
    return 0;
}

int cmd_simulate(int argc, char** argv) {
    static const char* const usage =
        "Usage: velmora-cli simulate --model hyp|flw --dev DEV [--records N] [--rate HZ]\n"
        "                            [--seed N] [--serial N] [--faults LIST] (-o FILE | --pty "
        "LINK)\n"
        "  -o FILE      write N instrument records (default 100) as a raw capture\n"
        "  --pty LINK   stream in real time into a pseudo-terminal linked at LINK until stopped\n"
        "  --rate HZ    spectra per second (default 4; FLW sends ten per record)\n"
        "  --faults     comma-separated: garbage, checksum, pad, serial, wlcount, pause, midstart, "
        "all\n";
    const Args a = parse_args(argc, argv);
    if (a.help)
        return std::fputs(usage, stdout), 0;
    if (!a.error.empty())
        return usage_error(usage, a.error);
    if (a.dev.empty() || (a.model != "hyp" && a.model != "flw") || a.out.empty() == a.pty.empty() ||
        !a.positional.empty())
        return usage_error(usage, "");
    sim::Options o;
    o.model = a.model == "flw" ? sim::Model::FLW : sim::Model::HYP;
    o.dev_path = a.dev;
    long long records = 100;
    bool ok = true;
    if (!a.records.empty()) {
        records = text::parse_long(a.records, &ok);
        ok = ok && records >= 0;
    }
    if (ok && !a.rate.empty()) {
        std::size_t used = 0;
        o.rate_hz = text::parse_double(a.rate, &used);
        ok = used > 0 && o.rate_hz > 0;
    }
    if (ok && !a.seed.empty())
        o.seed = static_cast<std::uint64_t>(text::parse_long(a.seed, &ok));
    if (ok && !a.serial.empty()) {
        o.serial = text::parse_long(a.serial, &ok);
        ok = ok && o.serial >= 0;
    }
    if (!ok)
        return usage_error(usage, "bad number in the options");
    try {
        o.faults = sim::parse_faults(a.faults);
        if (!a.out.empty()) {
            sim::write_capture(o, static_cast<std::size_t>(records), a.out);
            return 0;
        }
        std::signal(SIGINT, on_stop_signal);
        std::signal(SIGTERM, on_stop_signal);
        auto stream = sim::PtyStream::start(o, a.pty);
        std::fprintf(stderr, "Streaming %s records on %s (%s); Ctrl-C stops.\n",
                     a.model == "flw" ? "FLW" : "HYP", a.pty.c_str(), stream->slave_path().c_str());
        while (!stop_streaming.load())
            ::usleep(50000);
        stream->stop();
        std::fprintf(stderr, "Stopped after %llu bytes.\n",
                     static_cast<unsigned long long>(stream->bytes_sent()));
    } catch (const VelmoraError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
