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
