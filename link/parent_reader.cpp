#include "parent_reader.h"

parent_reader::parent_reader() = default;
parent_reader::~parent_reader() = default;

void parent_reader::open_device_file(const std::string&) {}
void parent_reader::save_raw(const std::string&) {}
void parent_reader::set_port(int) {}
void parent_reader::start() {}
void parent_reader::poll() {}
void parent_reader::stop() {}
void parent_reader::process_bytes(const std::uint8_t*, std::size_t) {}

ACR_Helper& parent_reader::sink() {
    static ACR_Helper silent;
    return status_sink ? *status_sink : silent;
}
void parent_reader::write_raw_capture(const std::string&) const {}
void parent_reader::reset_and_open(int) {}
int parent_reader::read_port(std::uint8_t*, int) {
    return 0;
}
void parent_reader::append_raw(const std::uint8_t* bytes, std::size_t count) {
    raw_bytes.insert(raw_bytes.end(), bytes, bytes + count);
}
