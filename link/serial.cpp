#include "serial.h"

#include <QSerialPort>

Serial::Serial() = default;
Serial::~Serial() = default;

void Serial::open(int, const std::string&) {}
void Serial::read(std::uint8_t*, int& count) {
    count = 0;
}
void Serial::close() {}

std::string resolve_port_path(int) {
    return {};
}
