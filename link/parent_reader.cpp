#include "parent_reader.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "atomic_file.h"

parent_reader::parent_reader()
    : serial_port(std::make_unique<Serial>()),
      make_serial([] { return std::make_unique<Serial>(); }) {}

parent_reader::~parent_reader() = default;

void parent_reader::open_device_file(const std::string&) {}
void parent_reader::save_raw(const std::string&) {}
void parent_reader::set_port(int) {}
void parent_reader::start() {}
void parent_reader::poll() {}
void parent_reader::stop() {}
void parent_reader::process_bytes(const std::uint8_t*, std::size_t) {}
void parent_reader::finish() {}

void PacketLog::push_back(const packet& p, std::size_t records) {
    if (records == 0)
        return;
    entries_.push_back(p);
    total_ += records;
    ends_.push_back(total_);
}

const packet& PacketLog::operator[](std::size_t i) const {
    const auto at = std::upper_bound(ends_.begin(), ends_.end(), i);
    return entries_[static_cast<std::size_t>(at - ends_.begin())];
}

void PacketLog::clear() {
    entries_.clear();
    ends_.clear();
    total_ = 0;
}

void PacketLog::keep_newest_only() {
    if (entries_.size() <= 1)
        return;
    entries_.erase(entries_.begin(), entries_.end() - 1);
    total_ = ends_.back() - ends_[ends_.size() - 2];
    ends_.assign(1, total_);
}

std::size_t parent_reader::take_records(std::vector<hyp_data>& into,
                                        std::vector<double>* external_temps) {
    const std::size_t n = decoded_records.size();
    for (hyp_data& r : decoded_records)
        into.push_back(std::move(r));
    decoded_records.clear();
    if (external_temps)
        external_temps->insert(external_temps->end(), decoded_external_temps.begin(),
                               decoded_external_temps.end());
    decoded_external_temps.clear();
    return n;
}

hyp_data& parent_reader::new_record(std::size_t n) {
    hyp_data& r = decoded_records.emplace_back();
    r.a_values.reserve(n);
    r.c_values.reserve(n);
    return r;
}

void parent_reader::write_raw_capture(const std::string& path) const {
    // Written beside the target and renamed over it when complete, so a failed save never
    // destroys an earlier capture of the same name.
    AtomicFile file(path, "Unable to open file for saving.");
    file.stream().write(reinterpret_cast<const char*>(raw_bytes.data()),
                        static_cast<std::streamsize>(raw_bytes.size()));
    try {
        file.commit();
    } catch (const VelmoraError&) {
        throw VelmoraError("Unable to open file for saving.");
    }
}

namespace {

// The capture is the decoder's buffer and is never trimmed.  Room for two days at the line speed
// is reserved up front (address space only, until bytes arrive), so that the acquisition tick
// never stalls while a day's worth of bytes is copied into a bigger buffer.
void reserve_capture(std::vector<std::uint8_t>& raw, int baud) {
    constexpr std::size_t cap = std::size_t{2} << 30;
    const std::size_t per_second = baud > 0 ? static_cast<std::size_t>(baud) / 10 : 11520;
    std::size_t want = std::min(cap, per_second * 2 * 86400);
    while (want >= (std::size_t{1} << 20)) {
        try {
            raw.reserve(want);
            return;
        } catch (const std::bad_alloc&) {
            want /= 2;
        }
    }
}

} // namespace

void parent_reader::reset_and_open(int port_number) {
    raw_bytes.clear();
    reserve_capture(raw_bytes, dev.baud_rate);
    packets.clear();
    decoded_records.clear();
    decoded_external_temps.clear();
    decoded_count = 0;
    lost_records = 0;
    synced = false;
    serial_port = make_serial ? make_serial() : std::make_unique<Serial>();
    serial_port->set_baud(dev.baud_rate);
    char name[32];
    std::snprintf(name, sizeof name, "COM%i", port_number);
    serial_port->open(port_number, name);
}

int parent_reader::read_port(std::uint8_t* buffer, int room) {
    if (!serial_port)
        return 0;
    int count = room;
    serial_port->read(buffer, count);
    return count < 0 ? 0 : (count > room ? room : count);
}

void parent_reader::append_raw(const std::uint8_t* bytes, std::size_t count) {
    if (count == 0)
        return;
    raw_bytes.insert(raw_bytes.end(), bytes, bytes + count);
}
