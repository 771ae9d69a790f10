// A whole file written beside its target and put in place only once complete: the target keeps
// its earlier content until commit(), and a write that fails or is abandoned leaves no trace.
#pragma once

#include <memory>
#include <ostream>
#include <string>

class AtomicFile {
  public:
    // Creates the temporary file in the target's folder; raises `open_error` when it cannot.
    AtomicFile(const std::string& target, const std::string& open_error);
    // Removes the temporary file unless commit() has put it in place.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    std::ostream& stream() { return out_; }
    const std::string& temp_path() const { return temp_path_; }

    // Flushes the temporary file, puts it on the disk and renames it over the target.  Raises (and
    // removes the temporary file) when the data could not all be written or the rename fails.
    void commit();

  private:
    class Buffer; // the stream's buffer, straight over the file descriptor
    void discard() noexcept;

    std::string target_;
    std::string temp_path_;
    std::string open_error_;
    std::unique_ptr<Buffer> buf_;
    std::ostream out_;
    bool done_ = false;
};
