#include "file_messages.h"

#include "file_checks.h"

namespace cli {

std::string about(const std::string& path, const std::string& message) {
    const std::string prefix = path + ": ";
    if (message.compare(0, prefix.size(), prefix) == 0)
        return message;
    return prefix + message;
}

void check_input(const std::string& path) {
    if (const std::string problem = file_checks::input_problem(path); !problem.empty())
        throw VelmoraError(about(path, problem));
}

void check_output(const std::string& path) {
    if (const std::string problem = file_checks::output_problem(path); !problem.empty())
        throw VelmoraError(about(path, problem));
}

} // namespace cli
