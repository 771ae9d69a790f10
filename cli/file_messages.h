// What velmora-cli says about the files a user names: a message about a file starts with its
// path, and a file that cannot be opened is reported with the system's reason before any work
// starts ("cast1.dat: Unable to open file. (No such file or directory)").
#pragma once

#include <string>

#include "velmora_error.h"

namespace cli {

// Raises "PATH: PROBLEM" when the file cannot be read (a folder, missing, not readable).
void check_input(const std::string& path);
// Raises "PATH: PROBLEM" when no file can be saved there.
void check_output(const std::string& path);

// "PATH: MESSAGE", unless the message already names the path.
std::string about(const std::string& path, const std::string& message);

// Runs `f`; an error it raises is said about the file at `path`.
template <typename F> decltype(auto) about_file(const std::string& path, F&& f) {
    try {
        return f();
    } catch (const VelmoraError& e) {
        throw VelmoraError(about(path, e.what()));
    }
}

} // namespace cli
