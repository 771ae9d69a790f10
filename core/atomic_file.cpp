#include "atomic_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

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

// Asks the kernel to put a file's (or a folder's) content on the disk; false when it reports an
// error there (a full disk or a failing device).  Places that cannot be synced say EINVAL.
bool sync_to_disk(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return true; // nothing more can be checked; the write itself succeeded
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    ::close(fd);
    return ok;
}

} // namespace

AtomicFile::AtomicFile(const std::string& target, const std::string& open_error)
    : target_(target), open_error_(open_error) {
    if (target.empty() || !fs::path(target).has_filename())
        throw VelmoraError(open_error_);
    std::error_code ec;
    // A link is followed: the file it names is the one replaced, and the link stays.
    if (fs::is_symlink(fs::symlink_status(target_, ec))) {
        const fs::path resolved = fs::weakly_canonical(target_, ec);
        if (!ec)
            target_ = resolved.string();
    }
    // A device or pipe (a terminal, /dev/null, a FIFO) is written straight into: renaming a
    // file over it would replace the device node itself.
    const fs::file_status st = fs::status(target_, ec);
    if (fs::exists(st) && !fs::is_regular_file(st) && !fs::is_directory(st)) {
        out_.open(target_, std::ios::out | std::ios::binary);
        if (!out_.is_open())
            throw VelmoraError(open_error_);
        return;
    }
    const fs::path tp(target_);
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
    if (temp_path_.empty()) { // written straight into a device or pipe
        done_ = true;
        if (!written || out_.fail())
            throw VelmoraError(kWriteError);
        return;
    }
    // The data are on the disk before the name points at them, so a crash or power cut leaves
    // either the earlier file or the complete new one.
    if (!written || out_.fail() || !sync_to_disk(temp_path_, O_WRONLY)) {
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
    const fs::path folder = fs::path(target_).parent_path();
    sync_to_disk(folder.empty() ? std::string(".") : folder.string(), O_RDONLY | O_DIRECTORY);
}
