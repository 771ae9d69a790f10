// SeaBASS archive files: the writer, and a checker of the archive's rules that can be checked
// offline.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct ProductTable;

namespace seabass {

struct Finding {
    std::size_t line = 0; // 1-based; 0: the file as a whole
    bool error = true;    // else a warning
    std::string text;
};

// Checks a SeaBASS file.
std::vector<Finding> check_file(const std::string& path);

// Writes the table as a SeaBASS file (a temporary file, checked, then put in place).  Refuses
// with VelmoraError: a table without a start time, missing required metadata, a file that
// fails the check (nothing is kept).
void write_file(const std::string& path, const ProductTable& t);

} // namespace seabass
