#include "atomic_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <streambuf>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include "velmora_error.h"

namespace fs = std::filesystem;

// Writes go to the descriptor in large pieces.  For a file to be renamed into place the kernel is
// asked every few megabytes to start putting what has been written on the disk, so that the
// fsync of commit() finds little left to do while the rest of the file is still being made.
class AtomicFile::Buffer : public std::streambuf {
  public:
    Buffer() : data_(new char[kSize]) { setp(data_.get(), data_.get() + kSize); }
    ~Buffer() override { close(); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    void open(int fd, bool early_writeback) {
        fd_ = fd;
        early_writeback_ = early_writeback;
    }
    bool is_open() const { return fd_ >= 0; }

    // Writes what is buffered; false when some write failed, now or before.
    bool flush_all() {
        if (!is_open())
            return false;
        const std::size_t n = static_cast<std::size_t>(pptr() - pbase());
        setp(data_.get(), data_.get() + kSize);
        return write_all(data_.get(), n) && ok_;
    }
    // False when the system reports an error (a full disk or a failing device).
    bool fsync_all() {
        return ::fsync(fd_) == 0 || errno == EINVAL || errno == EROFS; // some places cannot sync
    }
    // Closes without writing what is buffered; false when the close reports an error.
    bool close() {
        if (fd_ < 0)
            return true;
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  protected:
    int_type overflow(int_type c) override {
        if (!flush_all())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize count) override {
        const auto n = static_cast<std::size_t>(count);
        const auto room = static_cast<std::size_t>(epptr() - pptr());
        if (n <= room) {
            traits_type::copy(pptr(), s, n);
            pbump(static_cast<int>(n));
            return count;
        }
        // A large piece goes straight to the file behind what is buffered.
        if (!flush_all() || !write_all(s, n))
            return 0;
        return count;
    }
    int sync() override { return flush_all() ? 0 : -1; }

  private:
    static constexpr std::size_t kSize = 1 << 16;
    static constexpr std::size_t kWritebackStep = 8 << 20;

    bool write_all(const char* p, std::size_t n) {
        while (n > 0 && ok_) {
            const ssize_t got = ::write(fd_, p, n);
            if (got < 0) {
                ok_ = errno == EINTR;
                continue;
            }
            p += got;
            n -= static_cast<std::size_t>(got);
            written_ += static_cast<std::size_t>(got);
        }
#ifdef __linux__
        if (ok_ && early_writeback_ && written_ - writeback_from_ >= kWritebackStep) {
            // Only a start: the kernel writes in the background; commit() still waits for all.
            ::sync_file_range(fd_, static_cast<off_t>(writeback_from_),
                              static_cast<off_t>(written_ - writeback_from_),
                              SYNC_FILE_RANGE_WRITE);
            writeback_from_ = written_;
        }
#endif
        return ok_;
    }

    std::unique_ptr<char[]> data_;
    int fd_ = -1;
    bool ok_ = true;
    bool early_writeback_ = false;
    std::size_t written_ = 0;
    std::size_t writeback_from_ = 0;
};

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

// Asks the kernel to put a folder's entries on the disk.
void sync_folder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

int open_for_writing(const std::string& path, int extra_flags) {
    for (;;) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | extra_flags, 0666);
        if (fd >= 0 || errno != EINTR)
            return fd;
    }
}

} // namespace

AtomicFile::AtomicFile(const std::string& target, const std::string& open_error)
    : target_(target), open_error_(open_error), buf_(std::make_unique<Buffer>()), out_(buf_.get()) {
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
        const int fd = open_for_writing(target_, O_TRUNC);
        if (fd < 0)
            throw VelmoraError(open_error_);
        buf_->open(fd, false);
        return;
    }
    const fs::path tp(target_);
    for (int attempt = 0; attempt < 8; ++attempt) {
        temp_path_ = temp_name_for(tp);
        const int fd = open_for_writing(temp_path_, O_EXCL);
        if (fd >= 0) {
            buf_->open(fd, true);
            break;
        }
        if (errno != EEXIST)
            break;
    }
    if (!buf_->is_open()) {
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
    buf_->close();
    if (!temp_path_.empty()) {
        std::error_code ec;
        fs::remove(temp_path_, ec);
    }
}

void AtomicFile::commit() {
    out_.flush();
    const bool written = out_.good() && buf_->flush_all();
    if (temp_path_.empty()) { // written straight into a device or pipe
        done_ = true;
        const bool closed = buf_->close();
        if (!written || !closed)
            throw VelmoraError(kWriteError);
        return;
    }
    // The data are on the disk before the name points at them, so a crash or power cut leaves
    // either the earlier file or the complete new one.
    const bool synced = written && buf_->fsync_all();
    const bool closed = buf_->close();
    if (!synced || !closed) {
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
    sync_folder(folder.empty() ? std::string(".") : folder.string());
}
