// The instrument-link commands: device file and capture summaries, replay and simulation.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>

#include "acquisition_setup.h"
#include "args.h"
#include "clock_time.h"
#include "commands.h"
#include "devfile.h"
#include "file_messages.h"
#include "flw_reader.h"
#include "hyp_data.h"
#include "hyp_reader.h"
#include "simulator.h"
#include "text.h"

namespace {

using cli::Args;
using cli::UsageError;

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

// Decodes a capture with the device file's reader; raises what fails, about its file.
std::unique_ptr<parent_reader> decode_capture(const std::string& dev_path,
                                              const std::string& capture, CaptureFeed& feed,
                                              TakenRecords* take = nullptr) {
    cli::check_input(dev_path);
    cli::check_input(capture);
    std::unique_ptr<parent_reader> reader = reader_for(dev_path);
    if (!reader)
        throw VelmoraError(cli::about(dev_path, "Invalid device file"));
    cli::about_file(dev_path, [&] { reader->open_device_file(dev_path); });
    feed = cli::about_file(capture, [&] { return feed_capture(*reader, capture, take); });
    return reader;
}

std::atomic<bool> stop_streaming{false};

extern "C" void on_stop_signal(int) {
    stop_streaming = true;
}

} // namespace

int info_device(const std::string& path) {
    devfile d;
    cli::about_file(path, [&] { d.parse(path); });
    std::printf("device file: %s\n", path.c_str());
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

int info_capture(const std::string& dev, const std::string& capture) {
    CaptureFeed feed;
    std::unique_ptr<parent_reader> r = decode_capture(dev, capture, feed);
    std::printf("capture: %s (%zu bytes)\n", capture.c_str(), feed.bytes);
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

namespace {

const cli::Command kReplay{
    "replay",
    "Usage: velmora-cli replay --dev DEV CAPTURE -o OUT [--start ISO]\n",
    "Decodes a raw capture of an instrument's byte stream with its device file DEV, as the\n"
    "serial port would have delivered it, and writes the records to the data file OUT.  The\n"
    "start time of the first record comes from CAPTURE.start when there is one.\n",
    {{nullptr,
      {
          {"--dev", "DEV", "the device file of the instrument that recorded CAPTURE"},
          {"-o", "OUT", "the data file to write", "--output"},
          {"--start", "ISO",
           "UTC time of the first record, e.g. 2024-03-15T12:00:30Z (instead of\n"
           "CAPTURE.start)"},
      }}}};

const cli::Command kSimulate{
    "simulate",
    "Usage: velmora-cli simulate --model hyp|flw --dev DEV [--records N] [--rate HZ]\n"
    "                            [--seed N] [--serial N] [--faults LIST]\n"
    "                            [--profile CTD | --water-temp C [--water-saln PSU]]\n"
    "                            (-o FILE | --pty LINK)\n",
    "Produces the byte stream of an instrument described by the device file DEV: a raw capture\n"
    "file, or a live stream on a pseudo-terminal that runs until interrupted.\n",
    {{nullptr,
      {
          {"--model", "hyp|flw", "the instrument model"},
          {"--dev", "DEV", "its device file"},
          {"-o", "FILE", "write N instrument records (default 100) as a raw capture", "--output"},
          {"--pty", "LINK",
           "stream in real time into a pseudo-terminal linked at LINK until stopped"},
          {"--records", "N", "records of the capture (default 100)"},
          {"--rate", "HZ", "spectra per second (default 4; FLW sends ten per record)"},
          {"--seed", "N", "seed of the simulated noise"},
          {"--serial", "N", "serial number to send instead of the device file's"},
          {"--faults", "LIST",
           "comma-separated: garbage, checksum, pad, serial, wlcount, pause, midstart,\nall"},
      }},
     {"The water (without these, pure water at the factory temperature):",
      {
          {"--profile", "CTD",
           "a CTD log (columns time, pressure, temperature, conductivity, salinity\nas "
           "for correct's defaults): the instrument sees the log's temperature\nand "
           "salinity at each record's time"},
          {"--water-temp", "C", "water of this constant temperature, degrees C"},
          {"--water-saln", "PSU", "and this constant salinity (default 0)"},
      }}}};

} // namespace

int cmd_replay(int argc, char** argv) {
    return cli::run(kReplay, argc, argv, [](const Args& a) {
        if (a.positional.size() != 1)
            throw UsageError{"give one CAPTURE"};
        if (!a.has("--dev") || !a.has("-o"))
            throw UsageError{"--dev and -o are required"};
        std::optional<std::int64_t> start;
        if (a.has("--start")) {
            start = clock_time::parse_iso(a.get("--start"));
            if (!start)
                throw UsageError{clock_time::kStartTimeForm};
        }
        const std::string& capture = a.positional[0];
        const std::string& out = a.get("-o");
        cli::check_output(out);
        CaptureFeed feed;
        TakenRecords taken;
        std::unique_ptr<parent_reader> r = decode_capture(a.get("--dev"), capture, feed, &taken);
        if (taken.records.empty())
            throw VelmoraError(cli::about(
                capture, "Unable to read binary file.  Do you have the right devfile specified?"));
        HYP_Data data;
        setup_data_from_devfile(data, r->dev);
        data.temp_source = TempSource::Constant;
        data.saln_source = SalnSource::Constant;
        replace_records(data, std::move(taken));
        data.start_utc = start ? start : read_capture_start(capture);
        cli::about_file(out, [&] { data.save_records(out); });
        std::fprintf(stderr, "%zu records decoded, %d records lost\n", r->decoded_count,
                     static_cast<int>(r->lost_records));
        if (feed.decode_errors > 0)
            std::fprintf(stderr, "%zu header errors skipped (first: %s)\n", feed.decode_errors,
                         feed.first_error.c_str());
        return 0;
    });
}

int cmd_simulate(int argc, char** argv) {
    return cli::run(kSimulate, argc, argv, [](const Args& a) {
        if (!a.positional.empty())
            throw UsageError{"unexpected argument '" + a.positional[0] + "'"};
        const std::string model = a.get_or("--model", "");
        if (model != "hyp" && model != "flw")
            throw UsageError{"--model is hyp or flw"};
        if (!a.has("--dev"))
            throw UsageError{"--dev is required"};
        if (a.has("-o") == a.has("--pty"))
            throw UsageError{"give either -o FILE or --pty LINK"};
        sim::Options o;
        o.model = model == "flw" ? sim::Model::FLW : sim::Model::HYP;
        o.dev_path = a.get("--dev");
        const long long max = std::numeric_limits<long long>::max();
        const long long records = a.integer("--records", 100, 0, max);
        if (a.has("--rate")) {
            o.rate_hz = a.number("--rate", o.rate_hz);
            if (!(o.rate_hz > 0))
                throw UsageError{"--rate must be above 0"};
        }
        if (a.has("--seed"))
            o.seed = static_cast<std::uint64_t>(
                a.integer("--seed", 0, std::numeric_limits<long long>::min(), max));
        if (a.has("--serial"))
            o.serial = a.integer("--serial", 0, 0, max);
        if (a.has("--profile") && (a.has("--water-temp") || a.has("--water-saln")))
            throw UsageError{"give either --profile or --water-temp and --water-saln"};
        if (a.has("--water-saln") && !a.has("--water-temp"))
            throw UsageError{"--water-saln needs --water-temp"};
        if (a.has("--water-temp")) {
            ctd_struct water;
            water.temperature = a.number_in("--water-temp", 0.0, -2.0, 40.0, "degrees C");
            water.salinity = a.number_in("--water-saln", 0.0, 0.0, 45.0, "PSU");
            o.water.samples = {water};
        }
        cli::check_input(o.dev_path);
        devfile dev; // read here so that a fault of it is said about it, not about the output
        cli::about_file(o.dev_path, [&] { dev.parse(o.dev_path); });
        if (a.has("--profile")) {
            const std::string& profile = a.get("--profile");
            cli::check_input(profile);
            o.water = cli::about_file(profile, [&] { return sim::read_water_profile(profile); });
        }
        if (a.has("-o"))
            cli::check_output(a.get("-o"));
        try {
            o.faults = sim::parse_faults(a.get_or("--faults", ""));
            if (a.has("-o")) {
                sim::write_capture(o, static_cast<std::size_t>(records), a.get("-o"));
                return 0;
            }
            std::signal(SIGINT, on_stop_signal);
            std::signal(SIGTERM, on_stop_signal);
            const std::string& pty = a.get("--pty");
            auto stream = sim::PtyStream::start(o, pty);
            std::fprintf(stderr, "Streaming %s records on %s (%s); Ctrl-C stops.\n",
                         model == "flw" ? "FLW" : "HYP", pty.c_str(), stream->slave_path().c_str());
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
    });
}
