// The thin wrapper around one serial port: open at the device file's speed with 8 data bits,
// no parity and 1 stop bit, read what has arrived without waiting, close.  Nothing is written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "velmora_error.h"

class QSerialPort;

class Serial {
  public:
    Serial();
    virtual ~Serial();

    std::int32_t baud = 0;
    std::int32_t port = 0; // number of the open port; 0 when closed

    void set_baud(int rate) { baud = rate; }
    // Opens `device_name` ("COM%i"), resolved to a device path; raises "Could Not Open COM%1d".
    virtual void open(int port_number, const std::string& device_name);
    // `count` in: room in `buffer`; out: bytes stored (0 when nothing waits).  Never blocks.
    virtual void read(std::uint8_t* buffer, int& count);
    // Raises "Could not close comm port" when closing an open port fails.
    virtual void close();

  private:
    std::unique_ptr<QSerialPort> handle;
};

// Maps "COM<n>" to a device path: VELMORA_COM<n> when set, otherwise the documented default.
std::string resolve_port_path(int port_number);
