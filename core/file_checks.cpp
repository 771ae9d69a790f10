#include "file_checks.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "velmora_error.h"

namespace fs = std::filesystem;

namespace {

const char* const kFolder = "is a folder, not a file.";

bool is_folder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::string with_reason(const char* message, int error) {
    std::string out = message;
    out += " (";
    out += std::generic_category().message(error);
    out += ')';
    return out;
}

// A device, pipe or socket: written straight into, never replaced.
bool is_special(const std::string& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    return fs::exists(st) && !fs::is_regular_file(st) && !fs::is_directory(st);
}

} // namespace

namespace file_checks {

void refuse_folder(const std::string& path) {
    if (is_folder(path))
        throw VelmoraError(path + ": " + kFolder);
}

std::string input_problem(const std::string& path) {
    if (is_folder(path))
        return kFolder;
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return with_reason("Unable to open file.", errno != 0 ? errno : ENOENT);
    std::fclose(f);
    return {};
}

std::string output_problem(const std::string& path) {
    const char* const message = "Unable to open file for saving.";
    if (path.empty())
        return with_reason(message, ENOENT);
    if (is_folder(path))
        return kFolder;
    if (is_special(path))
        return {};
    // A file made and removed again beside the target, as the save itself will make one.  Its
    // name is random, so checks of several programs in one folder do not meet.
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    int error = EEXIST;
    for (int attempt = 0; attempt < 8 && error == EEXIST; ++attempt) {
        const fs::path probe = folder / (".velmora-check-" + std::to_string(random()) + "-" +
                                         std::to_string(counter++) + ".tmp");
        errno = 0;
        if (std::FILE* f = std::fopen(probe.c_str(), "wbx")) {
            std::fclose(f);
            std::error_code ec;
            fs::remove(probe, ec);
            return {};
        }
        error = errno != 0 ? errno : EACCES;
    }
    return with_reason(message, error);
}

std::string direct_output_problem(const std::string& path, bool& created) {
    created = false;
    if (is_folder(path))
        return kFolder;
    if (is_special(path))
        return {};
    std::error_code ec;
    const bool existed = fs::exists(path, ec);
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f)
        return with_reason("Unable to open file for saving.", errno != 0 ? errno : EACCES);
    std::fclose(f);
    created = !existed;
    return {};
}

} // namespace file_checks
