// Shared by the libFuzzer targets: a per-process folder for the readers that take a path, the
// rule that only VelmoraError may leave a reader, and chunk sizes taken from the input itself.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "velmora_error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fuzz {

// Removed at exit; each process has its own, so parallel runs never share a file.
inline const std::filesystem::path& work_dir() {
    static const std::filesystem::path dir = [] {
        std::filesystem::path d =
            std::filesystem::temp_directory_path() / ("velmora-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(work_dir(), ec);
        });
        return d;
    }();
    return dir;
}

// Writes the bytes to a file of the work folder and returns its path.
inline std::string write_input(const char* name, const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path path = work_dir() / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
    return path.string();
}

// Runs f; true when it finished, false when it raised VelmoraError.  Any other exception
// leaves the target and ends the run as a finding.
template <typename F> bool clean(F&& f) {
    try {
        f();
        return true;
    } catch (const VelmoraError&) {
        return false;
    }
}

// A broken property: printed and aborted, so that the fuzzer keeps the input.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

// Splits an input into a stream and chunk sizes: the sizes are read from the end of the input
// (one byte each), the stream is what lies in front of them.  A size byte below 192 gives a
// chunk of 1 to 192 bytes, the rest give 64-byte steps up to 4096, so both byte-by-byte
// arrival and whole records in one chunk occur.
// The stream is data[0, stream_size) and the chunks follow each other through it.
struct Chunks {
    std::size_t stream_size = 0;
    std::vector<std::size_t> lengths;
};

inline Chunks split(const std::uint8_t* data, std::size_t size) {
    Chunks c;
    std::size_t front = 0, back = size;
    while (front < back) {
        std::size_t want = 4096;
        if (back - front > 1) {
            const std::uint8_t s = data[--back];
            want = s < 192 ? std::size_t{s} + 1u : std::size_t{s - 191u} * 64u;
        }
        const std::size_t length = std::min(want, back - front);
        c.lengths.push_back(length);
        front += length;
    }
    c.stream_size = front;
    return c;
}

} // namespace fuzz
