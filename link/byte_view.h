// Bounds-checked reads of the instruments' multi-byte fields.  A read that would pass the end of
// the view raises, so a decoder never looks beyond the bytes a record owns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "velmora_error.h"

class ByteView {
  public:
    ByteView(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t size() const { return size_; }
    // The bytes themselves, for loops over a view whose size has been checked once.
    const std::uint8_t* data() const { return data_; }
    // The `count` bytes from `offset` on, as a view of their own.
    ByteView sub(std::size_t offset, std::size_t count) const {
        check(offset, count);
        return ByteView(data_ + offset, count);
    }
    bool has(std::size_t offset, std::size_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }

    std::uint8_t u8(std::size_t offset) const {
        check(offset, 1);
        return data_[offset];
    }
    // Big-endian: most significant byte first.
    std::uint32_t be16(std::size_t offset) const {
        check(offset, 2);
        return std::uint32_t(data_[offset]) << 8 | data_[offset + 1];
    }
    std::uint32_t be24(std::size_t offset) const {
        check(offset, 3);
        return std::uint32_t(data_[offset]) << 16 | std::uint32_t(data_[offset + 1]) << 8 |
               data_[offset + 2];
    }
    std::uint32_t be32(std::size_t offset) const {
        check(offset, 4);
        return std::uint32_t(data_[offset]) << 24 | std::uint32_t(data_[offset + 1]) << 16 |
               std::uint32_t(data_[offset + 2]) << 8 | data_[offset + 3];
    }
    // Little-endian: least significant byte first.
    std::uint32_t le16(std::size_t offset) const {
        check(offset, 2);
        return std::uint32_t(data_[offset]) | std::uint32_t(data_[offset + 1]) << 8;
    }
    // Sum of the unsigned byte values of [offset, offset + count), modulo 65536.
    std::uint32_t sum16(std::size_t offset, std::size_t count) const {
        check(offset, count);
        // A plain loop: the compiler adds sixteen bytes at a time, faster than by hand.
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < count; ++i)
            sum += data_[offset + i];
        return sum & 0xFFFFu;
    }

  private:
    void check(std::size_t offset, std::size_t count) const {
        if (!has(offset, count))
            throw VelmoraError("Record ends before its declared length.");
    }

    const std::uint8_t* data_;
    std::size_t size_;
};
