// The one argument parser of velmora-cli.  Each command lists its options once, in a Command;
// the same list parses its command line and prints its --help, so the two cannot disagree and an
// option a command does not take is a usage error everywhere.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// One option.  `value` names its argument in the help ("FILE"); a flag has none.
struct Option {
    const char* name;            // "--temp", "-o"
    const char* value;           // "C"; nullptr for a flag
    const char* help;            // lines separated by '\n'
    const char* alias = nullptr; // a second spelling ("--output" beside "-o")
};

// Options under a heading of the help ("Correction options:"); the first group has none.
struct OptionGroup {
    const char* heading;
    std::vector<Option> options;
};

struct Command {
    const char* name;        // "correct"
    const char* usage;       // the "Usage: velmora-cli ..." lines, each ending with '\n'
    const char* description; // paragraphs below the usage (may be empty)
    std::vector<OptionGroup> groups;
};

// A mistake on the command line: the command ends with exit status 2.
struct UsageError {
    std::string text;
};

class Args {
  public:
    std::vector<std::string> positional;
    bool help = false;

    bool has(std::string_view name) const { return values_.find(name) != values_.end(); }
    // The last value given for `name` (which must have been given).
    const std::string& get(std::string_view name) const;
    std::string get_or(std::string_view name, const std::string& fallback) const;
    // Every value given for `name`, in order (an option that may be repeated).
    std::vector<std::string> get_all(std::string_view name) const;
    // The value as a number; UsageError unless the whole value is one.
    double number(std::string_view name, double fallback) const;
    // The same, refused with the range when outside lo...hi (`unit` follows the range).
    double number_in(std::string_view name, double fallback, double lo, double hi,
                     const char* unit) const;
    // A decimal integer within lo...hi.
    long long integer(std::string_view name, long long fallback, long long lo, long long hi) const;

  private:
    friend Args parse(const Command& command, int argc, char** argv);
    std::map<std::string, std::string, std::less<>> values_; // by the option's first spelling
    std::map<std::string, std::vector<std::string>, std::less<>> all_;
};

// Parses argv[1...] (argv[0] is the command's name): "--name value", "--name=value", flags, "--"
// ending the options, "-h"/"--help" anywhere.  Raises UsageError.
Args parse(const Command& command, int argc, char** argv);

// The --help text: usage, description and every option of every group.
std::string help_text(const Command& command);

// Prints "velmora-cli NAME: PROBLEM" and the pointer to --help on stderr; returns 2.
int usage_error(const Command& command, const std::string& problem);

// Parses, prints the help when asked, runs `body` and turns what it raises into the exit status:
// UsageError 2, any other error 1 with its message on stderr.
int run(const Command& command, int argc, char** argv, const std::function<int(const Args&)>& body);

// Prints a message as worded, ending it with a line break.
void print_failure(const std::string& message);

} // namespace cli
