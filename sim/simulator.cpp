// The instrument simulator.
#include "simulator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "flw_reader.h"
#include "hyp_reader.h"

namespace sim {

namespace {

constexpr double pi = 3.14159265358979323846;

// Largest reference or signal count sent: the counts' high byte then never reaches FF, so the
// counts cannot form a sync pattern.
constexpr double max_count = 60000.0;

// Lamp and detector response: reference counts over the spectrum.
double reference_level(double wl) {
    return 18000.0 + 24000.0 * std::exp(-((wl - 580.0) / 170.0) * ((wl - 580.0) / 170.0));
}

// Finds the integer count whose decoded temperature is nearest to `target`, for a decoder
// temperature that is monotonic in the count over [lo, hi].
template <class F>
std::int32_t invert_counts(F decode, double target, std::int32_t lo, std::int32_t hi) {
    const bool rising = decode(hi) > decode(lo);
    std::int32_t a = lo, b = hi;
    while (b - a > 1) {
        const std::int32_t mid = a + (b - a) / 2;
        const bool below = decode(mid) < target;
        if (below == rising)
            a = mid;
        else
            b = mid;
    }
    return std::abs(decode(a) - target) <= std::abs(decode(b) - target) ? a : b;
}

void put_be16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void put_le16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

std::uint32_t sum16(const std::vector<std::uint8_t>& bytes, std::size_t from) {
    std::uint32_t sum = 0;
    for (std::size_t i = from; i < bytes.size(); ++i)
        sum += bytes[i];
    return sum & 0xFFFFu;
}

} // namespace

Faults parse_faults(const std::string& list) {
    Faults f;
    std::stringstream in(list);
    std::string name;
    while (std::getline(in, name, ',')) {
        if (name.empty())
            continue;
        if (name == "garbage")
            f.garbage = true;
        else if (name == "checksum")
            f.checksum = true;
        else if (name == "pad")
            f.pad = true;
        else if (name == "serial")
            f.serial = true;
        else if (name == "wlcount")
            f.wl_count = true;
        else if (name == "pause")
            f.pause = true;
        else if (name == "midstart")
            f.mid_start = true;
        else if (name == "all")
            f = Faults{true, true, true, true, true, true, true};
        else
            throw VelmoraError("Unknown fault '" + name +
                               "' (garbage, checksum, pad, serial, wlcount, pause, midstart, all)");
    }
    return f;
}

ctd_struct WaterProfile::at(double time_ms) const {
    if (samples.empty())
        return {};
    if (time_ms <= samples.front().time)
        return samples.front();
    if (time_ms >= samples.back().time)
        return samples.back();
    const auto hi = std::lower_bound(samples.begin(), samples.end(), time_ms,
                                     [](const ctd_struct& s, double t) { return s.time < t; });
    const auto lo = hi - 1;
    const double f = (time_ms - lo->time) / (hi->time - lo->time);
    ctd_struct out;
    out.time = time_ms;
    out.pressure = lo->pressure + f * (hi->pressure - lo->pressure);
    out.temperature = lo->temperature + f * (hi->temperature - lo->temperature);
    out.salinity = lo->salinity + f * (hi->salinity - lo->salinity);
    return out;
}

WaterProfile read_water_profile(const std::string& path, int time_col, int pres_col, int temp_col,
                                int saln_col) {
    CTD_Data log;
    log.read_ctd_file(path, time_col, temp_col, saln_col, pres_col);
    WaterProfile p;
    p.samples = std::move(log.samples);
    std::stable_sort(p.samples.begin(), p.samples.end(),
                     [](const ctd_struct& a, const ctd_struct& b) { return a.time < b.time; });
    if (p.samples.empty())
        throw VelmoraError(path + ": no CTD samples to make a water profile from.");
    return p;
}

Simulator::Simulator(const Options& options) : options_(options), rng_(options.seed) {
    dev_.parse(options_.dev_path);
    if ((options_.model == Model::FLW) != (dev_.is_flw != 0))
        throw VelmoraError(options_.model == Model::FLW
                               ? "The device file is not an FLW device file."
                               : "The device file is not an HYP device file.");
    if (options_.model == Model::HYP && dev_.a_wl.size() > 255)
        throw VelmoraError("An HYP record carries at most 255 wavelengths.");
    if (options_.rate_hz <= 0.0)
        options_.rate_hz = 4.0;
    if (!options_.water.empty()) {
        // The very rows the temperature and salinity corrections will choose for these channels.
        HYP_Data channels;
        channels.a_wavelengths = dev_.a_wl;
        channels.c_wavelengths = dev_.c_wl;
        channels.instrument_type = options_.model == Model::FLW ? InstrumentType::FLW : InstrumentType::HYP;
        channels.setup_ts_coefs();
        water_a_coefs_ = std::move(channels.a_coefs);
        water_c_coefs_ = std::move(channels.c_coefs);
    }
    // A free-running instrument clock that did not start at zero.
    hyp_stamp0_ = 1000000u + static_cast<std::uint32_t>(rng_() % 100000u);
    flw_counter_ = 1000u + static_cast<std::uint32_t>(rng_() % 5000u);
}

double Simulator::record_interval_s() const {
    const double spectrum = 1.0 / options_.rate_hz;
    return options_.model == Model::FLW ? spectrum * flw_reader::blocks_per_record : spectrum;
}

double Simulator::line_bytes_per_s() const {
    return dev_.baud_rate > 0 ? dev_.baud_rate / 10.0 : 11520.0;
}

// The water as the instrument sees it at time `t_s` (seconds since the start), per channel.
void Simulator::spectrum(double t_s, std::vector<double>& a, std::vector<double>& c) {
    std::normal_distribution<double> noise(0.0, 0.002);
    const double chl = 1.2 + 0.4 * std::sin(2 * pi * t_s / 600.0) + 0.2 * std::sin(t_s / 97.0);
    const double cdom = 0.12 + 0.03 * std::sin(2 * pi * t_s / 900.0);
    const double bp = 0.45 + 0.15 * std::sin(2 * pi * t_s / 450.0 + 1.0);
    const std::size_t n = dev_.a_wl.size();
    a.resize(n);
    c.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double wa = dev_.a_wl[i];
        const double wc = dev_.c_wl[i];
        auto absorption = [&](double wl) {
            const double blue = (wl - 440.0) / 35.0;
            const double red = (wl - 676.0) / 12.0;
            return cdom * std::exp(-0.014 * (wl - 440.0)) +
                   chl * (0.030 * std::exp(-blue * blue) + 0.014 * std::exp(-red * red)) + 0.01;
        };
        a[i] = absorption(wa) + noise(rng_);
        c[i] = absorption(wc) + bp * std::pow(550.0 / wc, 0.8) + noise(rng_);
    }
    if (water_a_coefs_.empty())
        return;
    // Offsets are those of pure water at the factory temperature: warmer or saltier water adds
    // its own absorption and attenuation.
    const ctd_struct w = options_.water.at(t_s * 1000.0);
    const double dt = w.temperature - dev_.factory_cal_temp;
    for (std::size_t i = 0; i < n; ++i) {
        a[i] += water_a_coefs_[i].psi_t_a * dt + water_a_coefs_[i].psi_s_a * w.salinity;
        c[i] += water_c_coefs_[i].psi_t_c * dt + water_c_coefs_[i].psi_s_c * w.salinity;
    }
}

void Simulator::append_records(std::vector<std::uint8_t>& out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (record_no_ == 0 && options_.faults.mid_start) {
            // The capture begins in the second half of a record that is never decoded.
            std::vector<std::uint8_t> whole;
            const bool keep = keep_intended_;
            keep_intended_ = false;
            if (options_.model == Model::HYP)
                append_hyp(whole);
            else
                append_flw(whole);
            keep_intended_ = keep;
            out.insert(out.end(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2),
                       whole.end());
        }
        if (options_.model == Model::HYP)
            append_hyp(out);
        else
            append_flw(out);
        pause_after_last_ = options_.faults.pause && record_no_ % 50 == 25;
        if (options_.faults.garbage && record_no_ % 7 == 3) {
            // No 00 and no FF bytes: garbage never forms a sync pattern of either model.
            std::uniform_int_distribution<int> len(1, 40), byte(1, 254);
            const int n = len(rng_);
            for (int k = 0; k < n; ++k)
                out.push_back(static_cast<std::uint8_t>(byte(rng_)));
        }
    }
}

void Simulator::append_hyp(std::vector<std::uint8_t>& out) {
    const std::uint64_t no = record_no_++;
    const double t_s = static_cast<double>(no) / options_.rate_hz;
    const Faults& f = options_.faults;
    const bool bad_checksum = f.checksum && no % 11 == 5;
    const bool bad_pad = f.pad && no % 13 == 7;
    const bool bad_count = f.wl_count && no % 17 == 9;

    std::vector<double> a, c;
    spectrum(t_s, a, c);
    const double target_int = 17.0 + 2.5 * std::sin(2 * pi * t_s / 3600.0) + t_s / 7200.0;
    // The external sensor sits in the water.
    const double target_ext = options_.water.empty() ? 14.0 + 1.5 * std::sin(2 * pi * t_s / 1200.0)
                                                     : options_.water.at(t_s * 1000.0).temperature;
    const std::int32_t n_int =
        invert_counts(hyp_reader::internal_temperature, target_int, 2819, 59191);
    const std::int32_t n_ext =
        invert_counts(hyp_reader::external_temperature, target_ext, 0, 65535);
    const double t_int = hyp_reader::internal_temperature(n_int);
    const devfile::TempPosition at = dev_.locate_temperature(t_int);

    std::uint32_t serial =
        options_.serial >= 0 ? static_cast<std::uint32_t>(options_.serial) : dev_.serial_number;
    if (f.serial)
        serial = dev_.serial_number + 1;
    serial &= 0xFFFFFFu;
    const std::uint32_t stamp =
        hyp_stamp0_ + static_cast<std::uint32_t>(std::llround(t_s * 1000.0));
    std::size_t n = a.size();
    if (bad_count)
        n = n > 1 ? n - 1 : n + 1;

    const std::size_t from = out.size();
    const std::uint8_t sync[4] = {0xFF, 0x00, 0xFF, 0x00};
    out.insert(out.end(), sync, sync + 4);
    put_be16(out, static_cast<std::uint32_t>(hyp_reader::record_size(n)));
    out.push_back(0x05); // packet type
    out.push_back(0x01);
    out.push_back(0x53); // the serial number's top byte
    out.push_back(static_cast<std::uint8_t>(serial >> 16));
    out.push_back(static_cast<std::uint8_t>(serial >> 8));
    out.push_back(static_cast<std::uint8_t>(serial));
    put_be16(out, 0);
    put_be16(out, 0); // pressure counts
    put_be16(out, 0);
    put_be16(out, static_cast<std::uint32_t>(n_ext));
    put_be16(out, static_cast<std::uint32_t>(n_int));
    put_be16(out, 0);
    put_be16(out, 0);
    out.push_back(static_cast<std::uint8_t>(stamp >> 24));
    out.push_back(static_cast<std::uint8_t>(stamp >> 16));
    out.push_back(static_cast<std::uint8_t>(stamp >> 8));
    out.push_back(static_cast<std::uint8_t>(stamp));
    out.push_back(0x01);
    out.push_back(static_cast<std::uint8_t>(n));

    hyp_data rec;
    rec.a_values = a;
    rec.c_values = c;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t k = std::min(i, a.size() - 1);
        const int ch = static_cast<int>(k);
        const double wl = 0.5 * (dev_.a_wl[k] + dev_.c_wl[k]);
        double counts[4];
        // Ratio = exp(-(value - offset - adjustment) / 4) for the 0.25 m path.
        const double rc =
            std::exp(-(c[k] - dev_.c_offsets[k] - dev_.temp_adjustment_at(false, ch, at)) / 4.0);
        const double ra =
            std::exp(-(a[k] - dev_.a_offsets[k] - dev_.temp_adjustment_at(true, ch, at)) / 4.0);
        double cref = std::floor(std::min(reference_level(wl), max_count / std::max(rc, 1.0)));
        double aref =
            std::floor(std::min(reference_level(wl) * 0.93, max_count / std::max(ra, 1.0)));
        counts[0] = cref;
        counts[1] = aref;
        counts[2] = std::clamp(std::round(cref * rc), 1.0, max_count);
        counts[3] = std::clamp(std::round(aref * ra), 1.0, max_count);
        resolution_ = std::max(resolution_, 4.0 / std::min(counts[2], counts[3]));
        for (double v : counts)
            put_be16(out, static_cast<std::uint32_t>(v));
    }
    const std::uint32_t sum = sum16(out, from);
    put_be16(out, bad_checksum ? (sum + 1) & 0xFFFFu : sum);
    out.push_back(bad_pad ? 1 : 0);

    if (bad_checksum || bad_pad || bad_count || !keep_intended_)
        return;
    if (!have_first_) {
        have_first_ = true;
        first_time_ = stamp;
    }
    rec.time = static_cast<double>(static_cast<std::uint32_t>(stamp - first_time_));
    intended_.push_back(std::move(rec));
}

void Simulator::append_flw(std::vector<std::uint8_t>& out) {
    const std::uint64_t no = record_no_++;
    const Faults& f = options_.faults;
    const bool bad_checksum = f.checksum && no % 11 == 5;
    const double t0_s = static_cast<double>(no) * record_interval_s();

    const double target_int = 17.0 + 2.5 * std::sin(2 * pi * t0_s / 3600.0) + t0_s / 7200.0;
    const std::int32_t n_int =
        invert_counts(flw_reader::internal_temperature, target_int, 250, 6000);
    const double t_int = flw_reader::internal_temperature(n_int);
    const devfile::TempPosition at = dev_.locate_temperature(t_int);
    const double path = dev_.path_length > 0 ? dev_.path_length : 0.25;

    // Stream channel j (file-order line) -> ascending position among its kind.
    int position[18];
    {
        int a_seen = 0, c_seen = 0;
        for (int j = 0; j < 18; ++j) {
            const bool is_a = dev_.channel_is_a[static_cast<std::size_t>(j)];
            const int file_index = is_a ? a_seen++ : c_seen++;
            const std::vector<std::int32_t>& order = is_a ? dev_.a_order : dev_.c_order;
            position[j] =
                static_cast<int>(std::find(order.begin(), order.end(), file_index) - order.begin());
        }
    }

    std::uint32_t serial =
        options_.serial >= 0 ? static_cast<std::uint32_t>(options_.serial) : dev_.serial_number;
    if (f.serial)
        serial = dev_.serial_number + 1;
    serial %= 1000000u;
    auto bcd = [](std::uint32_t two) {
        return static_cast<std::uint8_t>((two / 10 % 10) << 4 | (two % 10));
    };

    const std::size_t from = out.size();
    const std::uint8_t sync[4] = {0x00, 0xFF, 0x00, 0xFF};
    out.insert(out.end(), sync, sync + 4);
    put_le16(out, static_cast<std::uint32_t>(flw_reader::record_length_field));
    out.push_back(bcd(serial % 100));
    out.push_back(bcd(serial / 100 % 100));
    out.push_back(bcd(serial / 10000 % 100));
    out.push_back(0x26); // meter type of the filter-wheel instrument
    put_le16(out, 0);    // status
    put_le16(out, 0x0100);
    put_le16(out, 0); // pressure counts
    put_le16(out, 0);

    // The references are measured once per record.
    double ref[18];
    std::vector<hyp_data> recs(flw_reader::blocks_per_record);
    std::vector<std::vector<double>> ratio(flw_reader::blocks_per_record, std::vector<double>(18));
    double worst_ratio = 1.0;
    for (int b = 0; b < flw_reader::blocks_per_record; ++b) {
        const double t_s = t0_s + b / options_.rate_hz;
        spectrum(t_s, recs[static_cast<std::size_t>(b)].a_values,
                 recs[static_cast<std::size_t>(b)].c_values);
        for (int j = 0; j < 18; ++j) {
            const bool is_a = dev_.channel_is_a[static_cast<std::size_t>(j)];
            const int k = position[j];
            const hyp_data& r = recs[static_cast<std::size_t>(b)];
            const double value = is_a ? r.a_values[static_cast<std::size_t>(k)]
                                      : r.c_values[static_cast<std::size_t>(k)];
            const double offset = is_a ? dev_.a_offsets[static_cast<std::size_t>(k)]
                                       : dev_.c_offsets[static_cast<std::size_t>(k)];
            const double adj = dev_.temp_adjustment_at(is_a, k, at);
            const double q = std::exp(-(value - offset - adj) * path);
            ratio[static_cast<std::size_t>(b)][static_cast<std::size_t>(j)] = q;
            worst_ratio = std::max(worst_ratio, q);
        }
    }
    for (int j = 0; j < 18; ++j) {
        const int k = position[j];
        const double wl = dev_.channel_is_a[static_cast<std::size_t>(j)]
                              ? dev_.a_wl[static_cast<std::size_t>(k)]
                              : dev_.c_wl[static_cast<std::size_t>(k)];
        ref[j] = std::floor(std::min(reference_level(wl), max_count / worst_ratio));
    }

    std::uint32_t raw_times[flw_reader::blocks_per_record];
    for (int b = 0; b < flw_reader::blocks_per_record; ++b) {
        const std::uint32_t raw = flw_counter_ & 0xFFFFu;
        raw_times[b] = raw;
        put_le16(out, raw);
        for (int j = 0; j < 18; ++j) {
            const double s =
                std::clamp(ref[j] * ratio[static_cast<std::size_t>(b)][static_cast<std::size_t>(j)],
                           1.0, max_count);
            const double whole = std::floor(s);
            put_le16(out, static_cast<std::uint32_t>(whole));
            out.push_back(static_cast<std::uint8_t>(std::floor((s - whole) * 256.0)));
            resolution_ = std::max(resolution_, std::log((whole + 1.0) / whole) / path);
        }
        flw_counter_ += static_cast<std::uint32_t>(std::lround(100.0 / options_.rate_hz));
    }
    for (int j = 0; j < 18; ++j) {
        put_le16(out, static_cast<std::uint32_t>(ref[j]));
        out.push_back(0);
    }
    put_le16(out, static_cast<std::uint32_t>(n_int));
    const std::uint32_t sum = sum16(out, from);
    put_le16(out, bad_checksum ? (sum + 1) & 0xFFFFu : sum);
    out.push_back(0); // pad

    if (bad_checksum || !keep_intended_)
        return;
    // The decoder's time of the blocks it decodes: 10 ms units, plus 40 and 65535 per rollover
    // of the 16-bit counter once one has been seen.
    for (int b = 0; b < flw_reader::blocks_per_record; ++b) {
        if (!have_first_) {
            flw_rollovers_ = 0;
            flw_last_raw_ = 0;
        }
        const std::uint32_t raw = raw_times[b];
        if (static_cast<std::int32_t>(raw) < flw_last_raw_)
            ++flw_rollovers_;
        flw_last_raw_ = static_cast<std::int32_t>(raw);
        std::uint32_t t = raw;
        if (flw_rollovers_ > 0)
            t = t + 40u + static_cast<std::uint32_t>(flw_rollovers_) * 65535u;
        t *= 10u;
        if (!have_first_) {
            have_first_ = true;
            first_time_ = t;
        }
        hyp_data& r = recs[static_cast<std::size_t>(b)];
        r.time = static_cast<double>(static_cast<std::uint32_t>(t - first_time_));
        intended_.push_back(std::move(r));
    }
}

void write_capture(const Options& options, std::size_t records, const std::string& path) {
    Simulator s(options);
    s.set_keep_intended(false);
    std::vector<std::uint8_t> bytes;
    s.append_records(bytes, records);
    std::ofstream out(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out.is_open())
        throw VelmoraError("Unable to open file for saving.");
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (out.fail())
        throw VelmoraError("Unable to open file for saving.");
}

std::unique_ptr<PtyStream> PtyStream::start(const Options& options, const std::string& link) {
    // Parse the device file before anything is created, so that a bad one leaves nothing behind.
    Simulator probe(options);
    std::unique_ptr<PtyStream> s(new PtyStream());
    s->master_fd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (s->master_fd_ < 0 || ::grantpt(s->master_fd_) != 0 || ::unlockpt(s->master_fd_) != 0)
        throw VelmoraError("Unable to create a pseudo-terminal.");
    const char* slave = ::ptsname(s->master_fd_);
    if (slave == nullptr)
        throw VelmoraError("Unable to create a pseudo-terminal.");
    s->slave_path_ = slave;
    // Raw line settings, and the slave held open so that the line stays up between readers.
    s->slave_fd_ = ::open(slave, O_RDWR | O_NOCTTY);
    if (s->slave_fd_ >= 0) {
        termios tio;
        if (::tcgetattr(s->slave_fd_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(s->slave_fd_, TCSANOW, &tio);
        }
    }
    ::fcntl(s->master_fd_, F_SETFL, ::fcntl(s->master_fd_, F_GETFL) | O_NONBLOCK);
    struct stat st;
    if (::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        ::unlink(link.c_str());
    if (::symlink(slave, link.c_str()) != 0)
        throw VelmoraError("Unable to create the link " + link + ".");
    s->link_ = link;
    s->thread_ = std::thread(&PtyStream::run, s.get(), options);
    return s;
}

PtyStream::~PtyStream() {
    stop();
}

void PtyStream::stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (!link_.empty()) {
        ::unlink(link_.c_str());
        link_.clear();
    }
    if (slave_fd_ >= 0)
        ::close(slave_fd_);
    slave_fd_ = -1;
    if (master_fd_ >= 0)
        ::close(master_fd_);
    master_fd_ = -1;
}

void PtyStream::run(Options options) {
    using clock = std::chrono::steady_clock;
    Simulator s(options);
    s.set_keep_intended(false);
    const double line_rate = s.line_bytes_per_s();
    const double interval = s.record_interval_s();
    std::vector<std::uint8_t> queue;
    std::size_t sent = 0;
    const auto begin = clock::now();
    double next_record = 0.0;
    double budget = 0.0;
    auto last = begin;
    while (!stop_) {
        const auto now = clock::now();
        const double elapsed = std::chrono::duration<double>(now - begin).count();
        while (next_record <= elapsed) {
            s.append_records(queue, 1);
            next_record += interval;
            if (s.pause_after_last())
                next_record += 3.0;
        }
        budget = std::min(budget + line_rate * std::chrono::duration<double>(now - last).count(),
                          line_rate * 0.1 + 1.0);
        last = now;
        std::size_t allowed = std::min(queue.size() - sent, static_cast<std::size_t>(budget));
        if (allowed > 0) {
            const ssize_t w = ::write(master_fd_, queue.data() + sent, allowed);
            // Bytes nobody reads are lost, as on a real line; a full buffer drops them too.
            const std::size_t done = w > 0 ? static_cast<std::size_t>(w) : allowed;
            if (w > 0)
                bytes_sent_ += done;
            sent += done;
            budget -= static_cast<double>(done);
        }
        if (sent == queue.size()) {
            queue.clear();
            sent = 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int run_pty(const Options& options, const std::string& link, const std::atomic<bool>& stop) {
    auto stream = PtyStream::start(options, link);
    while (!stop.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stream->stop();
    return 0;
}

} // namespace sim
