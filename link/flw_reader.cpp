#include "flw_reader.h"

flw_reader::flw_reader() {
    wavelength_count = 9;
}
flw_reader::~flw_reader() = default;
void flw_reader::open_device_file(const std::string&) {}
void flw_reader::save_raw(const std::string&) {}
void flw_reader::set_port(int) {}
void flw_reader::start() {}
void flw_reader::poll() {}
void flw_reader::stop() {}
void flw_reader::process_bytes(const std::uint8_t*, std::size_t) {}
void flw_reader::find_sync() {}
void flw_reader::read_header() {}
void flw_reader::read_block() {}
void flw_reader::read_reference() {}
void flw_reader::convert_record() {}
void flw_reader::open_trace(const std::string&) {}
void flw_reader::close_trace() {}
