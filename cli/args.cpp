#include "args.h"

#include <cstdio>
#include <exception>

#include "text.h"

namespace cli {

namespace {

// Text in single quotes (built by appending: GCC 12 warns wrongly on "'" + std::string).
std::string quoted(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out += '\'';
    out += s;
    out += '\'';
    return out;
}

const Option* find_option(const Command& command, std::string_view spelling) {
    for (const OptionGroup& g : command.groups)
        for (const Option& o : g.options)
            if (spelling == o.name || (o.alias && spelling == o.alias))
                return &o;
    return nullptr;
}

constexpr std::size_t kHelpColumn = 29; // where the option descriptions start

} // namespace

const std::string& Args::get(std::string_view name) const {
    return values_.find(name)->second;
}

std::string Args::get_or(std::string_view name, const std::string& fallback) const {
    const auto it = values_.find(name);
    return it == values_.end() ? fallback : it->second;
}

std::vector<std::string> Args::get_all(std::string_view name) const {
    const auto it = all_.find(name);
    return it == all_.end() ? std::vector<std::string>{} : it->second;
}

double Args::number(std::string_view name, double fallback) const {
    const auto it = values_.find(name);
    if (it == values_.end())
        return fallback;
    const std::string& s = it->second;
    std::size_t used = 0;
    const double v = text::parse_double(s, &used);
    if (used == 0 || used != s.size())
        throw UsageError{"option " + quoted(name) + " needs a number, not " + quoted(s)};
    return v;
}

double Args::number_in(std::string_view name, double fallback, double lo, double hi,
                       const char* unit) const {
    const double v = number(name, fallback);
    if (!(v >= lo && v <= hi))
        throw UsageError{std::string(name) + " " + get(name) + " is outside " +
                         text::format_g(lo, 6) + " to " + text::format_g(hi, 6) + " " + unit};
    return v;
}

long long Args::integer(std::string_view name, long long fallback, long long lo,
                        long long hi) const {
    const auto it = values_.find(name);
    if (it == values_.end())
        return fallback;
    const std::string& s = it->second;
    bool ok = false;
    std::size_t used = 0;
    const long long v = text::parse_long(s, &ok, &used);
    if (!ok || used != s.size())
        throw UsageError{"option " + quoted(name) + " needs a whole number, not " + quoted(s)};
    if (v < lo || v > hi)
        throw UsageError{std::string(name) + " " + s + " is outside " + std::to_string(lo) +
                         " to " + std::to_string(hi)};
    return v;
}

Args parse(const Command& command, int argc, char** argv) {
    Args out;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help" || a == "-h")
            out.help = true;
    }
    if (out.help)
        return out; // the help is asked for: nothing else on the line matters
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (options_done || arg.size() < 2 || arg[0] != '-') {
            out.positional.push_back(std::move(arg));
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        std::string value;
        bool inline_value = false;
        if (const std::size_t eq = arg.find('=');
            arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            inline_value = true;
        }
        const Option* o = find_option(command, arg);
        if (!o)
            throw UsageError{"unknown option " + quoted(arg)};
        if (!o->value) {
            if (inline_value)
                throw UsageError{"option " + quoted(arg) + " takes no value"};
        } else if (!inline_value) {
            if (i + 1 >= argc)
                throw UsageError{"option " + quoted(arg) + " needs a value"};
            value = argv[++i];
        }
        out.all_[o->name].push_back(value);
        out.values_[o->name] = std::move(value);
    }
    return out;
}

std::string help_text(const Command& command) {
    std::string out = command.usage;
    if (command.description && *command.description) {
        out += '\n';
        out += command.description;
    }
    for (const OptionGroup& g : command.groups) {
        out += '\n';
        if (g.heading) {
            out += g.heading;
            out += '\n';
        }
        for (const Option& o : g.options) {
            std::string left = "  ";
            left += o.name;
            if (o.alias) {
                left += ", ";
                left += o.alias;
            }
            if (o.value) {
                left += ' ';
                left += o.value;
            }
            std::string_view help = o.help;
            bool first = true;
            while (true) {
                const std::size_t nl = help.find('\n');
                if (first && left.size() + 1 > kHelpColumn) {
                    out += left;
                    out += '\n';
                    left.clear();
                }
                left.resize(kHelpColumn, ' ');
                out += left;
                out += help.substr(0, nl);
                out += '\n';
                left.clear();
                first = false;
                if (nl == std::string_view::npos)
                    break;
                help.remove_prefix(nl + 1);
            }
        }
    }
    return out;
}

int usage_error(const Command& command, const std::string& problem) {
    std::fprintf(stderr, "velmora-cli %s: %s\nRun 'velmora-cli %s --help' for usage.\n",
                 command.name, problem.c_str(), command.name);
    return 2;
}

void print_failure(const std::string& message) {
    std::string line = message;
    if (line.empty() || line.back() != '\n')
        line += '\n';
    std::fputs(line.c_str(), stderr);
}

int run(const Command& command, int argc, char** argv,
        const std::function<int(const Args&)>& body) {
    try {
        const Args args = parse(command, argc, argv);
        if (args.help) {
            std::fputs(help_text(command).c_str(), stdout);
            return 0;
        }
        return body(args);
    } catch (const UsageError& e) {
        return usage_error(command, e.text);
    } catch (const std::exception& e) {
        print_failure(e.what());
    }
    return 1;
}

} // namespace cli
