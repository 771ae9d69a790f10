#include "atomic_file.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "velmora_error.h"

namespace fs = std::filesystem;

namespace {

// Names that no two writers of this process (nor, with the random part, of two processes) share.
std::string temp_name_for(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    static const unsigned long long seed =
        std::random_device{}() ^ static_cast<unsigned long long>(
                                     std::chrono::steady_clock::now().time_since_epoch().count());
    char tag[40];
    std::snprintf(tag, sizeof tag, ".%llx-%u.tmp", seed & 0xffffffffffULL, counter++);
    std::string name(1, '.');
    name += target.filename().string();
    name += tag;
    fs::path p = target;
    p.replace_filename(name);
    return p.string();
}

const char* const kWriteError = "Unable to write file.  Is the disk full?";

} // namespace

AtomicFile::AtomicFile(const std::string& target, const std::string& open_error)
    : target_(target), open_error_(open_error) {
    const fs::path tp(target);
    if (target.empty() || !tp.has_filename())
        throw VelmoraError(open_error_);
    for (int attempt = 0; attempt < 8; ++attempt) {
        temp_path_ = temp_name_for(tp);
        std::error_code ec;
        if (fs::exists(temp_path_, ec))
            continue;
        out_.open(temp_path_, std::ios::out | std::ios::binary | std::ios::trunc);
        break;
    }
    if (!out_.is_open()) {
        temp_path_.clear();
        throw VelmoraError(open_error_);
    }
}

AtomicFile::~AtomicFile() {
    if (!done_)
        discard();
}

void AtomicFile::discard() noexcept {
    done_ = true;
    if (out_.is_open())
        out_.close();
    if (!temp_path_.empty()) {
        std::error_code ec;
        fs::remove(temp_path_, ec);
    }
}

void AtomicFile::commit() {
    out_.flush();
    const bool written = out_.good();
    out_.close();
    if (!written || out_.fail()) {
        discard();
        throw VelmoraError(kWriteError);
    }
    std::error_code ec;
    fs::rename(temp_path_, target_, ec);
    if (ec) {
        discard();
        throw VelmoraError(open_error_);
    }
    done_ = true;
}
