#include "parent_reader.h"

#include <cstdio>
#include <fstream>

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

void parent_reader::write_raw_capture(const std::string& path) const {
    std::ofstream out(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out.is_open())
        throw VelmoraError("Unable to open file for saving.");
    out.write(reinterpret_cast<const char*>(raw_bytes.data()),
              static_cast<std::streamsize>(raw_bytes.size()));
    out.flush();
    out.close();
    if (out.fail())
        throw VelmoraError("Unable to open file for saving.");
}

void parent_reader::reset_and_open(int port_number) {
    raw_bytes.clear();
    packets.clear();
    decoded_records.clear();
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
