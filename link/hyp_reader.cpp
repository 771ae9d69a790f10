#include "hyp_reader.h"

hyp_reader::hyp_reader() = default;
void hyp_reader::open_device_file(const std::string&) {}
void hyp_reader::save_raw(const std::string&) {}
void hyp_reader::set_port(int) {}
void hyp_reader::start() {}
void hyp_reader::poll() {}
void hyp_reader::stop() {}
void hyp_reader::process_bytes(const std::uint8_t*, std::size_t) {}
void hyp_reader::decode_record() {}
void hyp_reader::convert_record(packet&) {}
