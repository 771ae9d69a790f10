// Fast line-by-line reading of text files for the loaders: the file is read in large blocks and
// each line is handed out as a view into the block, without a string per line.  Lines of any
// length are read whole; a trailing carriage return is dropped, so CRLF files read like LF files.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "text.h"

namespace fileio {

class LineReader {
  public:
    explicit LineReader(const std::string& path, std::size_t block_size = 1 << 20)
        : file_(std::fopen(path.c_str(), "rb")), buf_(new char[block_size]), cap_(block_size) {}
    ~LineReader() {
        if (file_)
            std::fclose(file_);
    }
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool is_open() const { return file_ != nullptr; }

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
                line = text::chomp(std::string_view(start, end_ - begin_));
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
        const std::size_t got = std::fread(buf_.get() + end_, 1, cap_ - end_, file_);
        end_ += got;
        if (got == 0) {
            eof_ = true;
            failed_ = std::ferror(file_) != 0;
            return false;
        }
        return true;
    }

    std::FILE* file_;
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

} // namespace fileio
