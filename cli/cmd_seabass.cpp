// velmora-cli seabass-check: the SeaBASS checker on files of any origin.
#include <cstdio>
#include <string>
#include <vector>

#include "args.h"
#include "commands.h"
#include "file_messages.h"
#include "seabass.h"

namespace {

using cli::Args;
using cli::UsageError;

const cli::Command kSeabassCheck{
    "seabass-check",
    "Usage: velmora-cli seabass-check FILE...\n",
    "Checks SeaBASS files against the archive's rules that can be checked offline: the header\n"
    "delimiters, the required keywords, no blanks in values, fields and units of the same\n"
    "number and every data line with that many values, known field names, valid dates and\n"
    "times, the missing value (never NA) in the data, and the date, time and position bounds\n"
    "against the data.  Each finding is one line, FILE:LINE: error: TEXT or FILE:LINE: warning:\n"
    "TEXT (no LINE for the file as a whole); a file without errors gets FILE: no errors.  The\n"
    "exit status is 1 when a file has an error or cannot be read.\n",
    {}};

} // namespace

int cmd_seabass_check(int argc, char** argv) {
    return cli::run(kSeabassCheck, argc, argv, [](const Args& a) {
        if (a.positional.empty())
            throw UsageError{"no FILE given"};
        int status = 0;
        for (const std::string& path : a.positional) {
            std::vector<seabass::Finding> findings;
            try {
                cli::check_input(path);
                findings = cli::about_file(path, [&] { return seabass::check_file(path); });
            } catch (const VelmoraError& e) {
                cli::print_failure(e.what());
                status = 1;
                continue;
            }
            std::size_t errors = 0, warnings = 0;
            for (const seabass::Finding& f : findings) {
                std::puts(seabass::finding_line(path, f).c_str());
                ++(f.error ? errors : warnings);
            }
            if (errors > 0)
                status = 1;
            else if (warnings > 0)
                std::printf("%s: no errors, %zu warning%s\n", path.c_str(), warnings,
                            warnings == 1 ? "" : "s");
            else
                std::printf("%s: no errors\n", path.c_str());
        }
        return status;
    });
}
