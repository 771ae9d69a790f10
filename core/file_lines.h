// Fast line-by-line reading of text files for the loaders: the file is read in large blocks and
// each line is handed out as a view into the block, without a string per line.  Lines of any
// length are read whole; a trailing carriage return is dropped, so CRLF files read like LF files.
// A reader can also walk one byte range of an open file, so that threads read the pieces of a
// large file side by side (split_rest).
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "text.h"

namespace fileio {

class LineReader {
  public:
    explicit LineReader(const std::string& path, std::size_t block_size = 1 << 20)
        : file_(std::fopen(path.c_str(), "rb")), buf_(new char[block_size]), cap_(block_size) {}
    // The bytes [begin, end) of the open file `fd`, read with pread: readers of several ranges of
    // one file do not disturb each other.  The file stays open when the reader goes.
    LineReader(int fd, std::size_t begin, std::size_t end, std::size_t block_size = 1 << 20)
        : file_(nullptr), fd_(fd), pos_(begin), limit_(end), read_(begin),
          buf_(new char[block_size]), cap_(block_size) {}
    ~LineReader() {
        if (file_)
            std::fclose(file_);
    }
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool is_open() const { return file_ != nullptr || fd_ >= 0; }
    // The file's descriptor (-1 when it is not open).
    int fd() const { return file_ ? ::fileno(file_) : fd_; }
    // Offset in the file of the first character not yet handed out.
    std::size_t offset() const { return read_ - (end_ - begin_); }

    // The next line without its line break; false once the file holds no more characters.
    // The view stays valid until the next call.
    bool next(std::string_view& line) {
        for (;;) {
            const char* start = buf_.get() + begin_;
            const char* nl = static_cast<const char*>(
                std::memchr(start + scanned_, '\n', end_ - begin_ - scanned_));
            if (nl) {
                line = text::chomp(std::string_view(start, static_cast<std::size_t>(nl - start)));
                begin_ += static_cast<std::size_t>(nl - start) + 1;
                scanned_ = 0;
                terminated_ = true;
                ++line_number_;
                return true;
            }
            scanned_ = end_ - begin_;
            if (eof_ || !fill()) {
                if (begin_ == end_)
                    return false;
                // fill() has moved the unfinished line to the front of the buffer.
                line = text::chomp(std::string_view(buf_.get() + begin_, end_ - begin_));
                begin_ = end_;
                scanned_ = 0;
                terminated_ = false;
                ++line_number_;
                return true;
            }
        }
    }

    // Whether the line last returned ended with a line break (false for a last line without one).
    bool terminated() const { return terminated_; }
    // True when reading failed for another reason than the end of the file.
    bool failed() const { return failed_; }
    // 1-based number of the line last returned.
    std::size_t line_number() const { return line_number_; }

  private:
    // Reads more of the file behind the unfinished line; false when nothing more can be read.
    bool fill() {
        if (begin_ > 0) {
            std::memmove(buf_.get(), buf_.get() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        if (end_ == cap_) {
            // One line longer than the block: grow, so that the line is read whole.
            std::unique_ptr<char[]> bigger(new char[cap_ * 2]);
            std::memcpy(bigger.get(), buf_.get(), end_);
            buf_ = std::move(bigger);
            cap_ *= 2;
        }
        const std::size_t got = file_ ? std::fread(buf_.get() + end_, 1, cap_ - end_, file_)
                                      : read_range(buf_.get() + end_, cap_ - end_);
        end_ += got;
        read_ += got;
        if (got == 0) {
            eof_ = true;
            failed_ = failed_ || (file_ && std::ferror(file_) != 0);
            return false;
        }
        return true;
    }

    std::size_t read_range(char* to, std::size_t room) {
        const std::size_t want = limit_ > pos_ ? std::min(room, limit_ - pos_) : 0;
        for (;;) {
            if (want == 0)
                return 0;
            const ssize_t got = ::pread(fd_, to, want, static_cast<off_t>(pos_));
            if (got >= 0) {
                pos_ += static_cast<std::size_t>(got);
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR) {
                failed_ = true;
                return 0;
            }
        }
    }

    std::FILE* file_;
    int fd_ = -1;
    std::size_t pos_ = 0;   // range mode: offset of the next byte to read
    std::size_t limit_ = 0; // range mode: end of the range
    std::size_t read_ = 0;  // offset in the file just past the text read into the buffer
    std::unique_ptr<char[]> buf_;
    std::size_t cap_;
    std::size_t begin_ = 0;   // start of the unread text
    std::size_t end_ = 0;     // end of the text in the buffer
    std::size_t scanned_ = 0; // characters after begin_ known to hold no line break
    bool eof_ = false;
    bool failed_ = false;
    bool terminated_ = false;
    std::size_t line_number_ = 0;
};

// Where the rest of the file behind `in` splits into at most `parts` pieces of whole lines, each
// at least `min_bytes` long: the pieces' start offsets followed by the end of the file.  Each
// piece but the last ends just after a line break.  Only a regular file is split; otherwise, for a
// small rest, or when a piece cannot be told, the result is a single piece.
inline std::vector<std::size_t> split_rest(const LineReader& in, std::size_t parts,
                                           std::size_t min_bytes) {
    const std::size_t start = in.offset();
    struct stat st {};
    if (!in.is_open() || ::fstat(in.fd(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::size_t>(st.st_size) < start)
        return {start, start};
    const std::size_t end = static_cast<std::size_t>(st.st_size);
    const std::size_t rest = end - start;
    if (min_bytes == 0)
        min_bytes = 1;
    if (parts > rest / min_bytes)
        parts = rest / min_bytes;
    std::vector<std::size_t> bounds{start};
    char window[4096];
    for (std::size_t k = 1; k < parts; ++k) {
        // The first line break at or after the even share; a piece holds at least one line.
        std::size_t at = std::max(start + rest / parts * k, bounds.back());
        std::size_t found = end;
        while (at < end && found == end) {
            const ssize_t got = ::pread(in.fd(), window, sizeof window, static_cast<off_t>(at));
            if (got <= 0)
                return {start, end};
            const void* nl = std::memchr(window, '\n', static_cast<std::size_t>(got));
            if (nl)
                found = at + static_cast<std::size_t>(static_cast<const char*>(nl) - window) + 1;
            at += static_cast<std::size_t>(got);
        }
        if (found >= end)
            break;
        if (found > bounds.back())
            bounds.push_back(found);
    }
    bounds.push_back(end);
    return bounds;
}

} // namespace fileio
