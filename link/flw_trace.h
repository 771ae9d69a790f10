// The FLW reader's diagnostic trace: a hexadecimal listing of every record it decodes, appended
// to a file.  Off unless VELMORA_FLW_TRACE names a file; never written to the terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class ByteView;

class FlwTrace {
  public:
    // Appends to `path`; null when it cannot be opened.
    static std::unique_ptr<FlwTrace> open(const std::string& path);
    // The trace VELMORA_FLW_TRACE asks for, or null.
    static std::unique_ptr<FlwTrace> from_environment();
    ~FlwTrace();
    FlwTrace(const FlwTrace&) = delete;
    FlwTrace& operator=(const FlwTrace&) = delete;

    void sync_byte(std::uint8_t b);
    // `v` starts at the record length field: its length and serial number fields, then (once
    // they have passed) its four header words.
    void header(const ByteView& v, std::uint32_t serial);
    void header_words(const ByteView& v);
    // `v` starts at the block's time field.
    void block(const ByteView& v, int channels);
    // `v` starts at the first reference value; `sum` is the checksum as added up.
    void reference(const ByteView& v, int channels, std::uint32_t sum);
    void block_time(std::uint32_t raw, std::uint32_t adjusted);
    void rollovers(int count);

  private:
    explicit FlwTrace(std::FILE* file) : file_(file) {}
    std::FILE* file_;
};
