#include "serial.h"

#include <QSerialPort>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {

bool device_exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

Serial::Serial() = default;

Serial::~Serial() {
    if (handle && handle->isOpen())
        handle->close();
}

std::string resolve_port_path(int port_number) {
    const std::string var = "VELMORA_COM" + std::to_string(port_number);
    if (const char* env = std::getenv(var.c_str()); env != nullptr && *env != '\0')
        return env;
    if (port_number < 1)
        return {};
    // COM<n> is the n-th USB serial adapter, else the n-th USB modem-class port, else the n-th
    // built-in port.
    const std::string index = std::to_string(port_number - 1);
    for (const char* prefix : {"/dev/ttyUSB", "/dev/ttyACM", "/dev/ttyS"}) {
        std::string path = prefix + index;
        if (device_exists(path))
            return path;
    }
    return "/dev/ttyUSB" + index;
}

void Serial::open(int port_number, const std::string& device_name) {
    (void)device_name; // "COM%i": the path comes from the port number
    if (handle && handle->isOpen())
        handle->close();
    const std::string path = resolve_port_path(port_number);
    handle = std::make_unique<QSerialPort>();
    handle->setPortName(QString::fromStdString(path));
    // QSerialPort opens an existing device only, exclusively (lock file and TIOCEXCL) and
    // without blocking.
    if (path.empty() || !device_exists(path) || !handle->open(QIODevice::ReadWrite)) {
        handle.reset();
        port = 0;
        char text[48];
        std::snprintf(text, sizeof text, "Could Not Open COM%1d", port_number);
        throw VelmoraError(text);
    }
    // Line settings failures are not fatal: a pseudo-terminal or an adapter that refuses a speed
    // still delivers bytes.
    handle->setBaudRate(baud);
    handle->setDataBits(QSerialPort::Data8);
    handle->setParity(QSerialPort::NoParity);
    handle->setStopBits(QSerialPort::OneStop);
    handle->setFlowControl(QSerialPort::NoFlowControl);
    handle->clearError();
    port = port_number;
}

void Serial::read(std::uint8_t* buffer, int& count) {
    const int room = count;
    count = 0;
    if (!handle || !handle->isOpen() || room <= 0 || buffer == nullptr)
        return;
    // Without an event loop nothing moves the device's bytes into the port's buffer; a wait of
    // zero milliseconds does that without blocking.
    if (handle->bytesAvailable() < room)
        handle->waitForReadyRead(0);
    const qint64 got = handle->read(reinterpret_cast<char*>(buffer), room);
    count = got > 0 ? static_cast<int>(got) : 0;
    if (handle->error() == QSerialPort::TimeoutError)
        handle->clearError();
}

void Serial::close() {
    if (!handle) {
        port = 0;
        return;
    }
    handle->clearError();
    handle->close();
    const bool failed = handle->error() != QSerialPort::NoError;
    handle.reset();
    if (failed && port != 0)
        throw VelmoraError("Could not close comm port");
    port = 0;
}
