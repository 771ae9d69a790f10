// The command-line parser shared by every velmora-cli command.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "args.h"

namespace {

const cli::Command kDemo{"demo",
                         "Usage: velmora-cli demo FILE\n",
                         "Does nothing.\n",
                         {{nullptr,
                           {
                               {"-o", "OUT", "the output", "--output"},
                               {"--temp", "C", "a temperature"},
                               {"--flag", nullptr, "a switch\nwith a second line"},
                           }},
                          {"More options:",
                           {
                               {"--a-rather-long-option-name", "VALUE", "wraps below"},
                           }}}};

cli::Args parse(std::vector<std::string> words) {
    words.insert(words.begin(), "demo");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    return cli::parse(kDemo, static_cast<int>(argv.size()), argv.data());
}

std::string usage_error_of(const std::vector<std::string>& words) {
    try {
        parse(words);
    } catch (const cli::UsageError& e) {
        return e.text;
    }
    return "(accepted)";
}

TEST(CliArgs, ParsesValuesFlagsAndPositionals) {
    const cli::Args a =
        parse({"in.dat", "--temp", "-1.5", "--output=x y", "--flag", "--", "--not-an-option"});
    EXPECT_EQ(a.positional, (std::vector<std::string>{"in.dat", "--not-an-option"}));
    EXPECT_EQ(a.get("-o"), "x y"); // stored under the first spelling
    EXPECT_DOUBLE_EQ(a.number("--temp", 0), -1.5);
    EXPECT_TRUE(a.has("--flag"));
    EXPECT_FALSE(a.help);
    // The last of two values wins; "-" alone is a positional (standard input by convention).
    const cli::Args b = parse({"-o", "first", "-", "-o", "second"});
    EXPECT_EQ(b.get("-o"), "second");
    EXPECT_EQ(b.positional, std::vector<std::string>{"-"});
}

TEST(CliArgs, RefusesWhatTheCommandDoesNotTake) {
    struct Case {
        std::vector<std::string> words;
        const char* error;
    };
    const Case cases[] = {
        {{"--faults", "x"}, "unknown option '--faults'"},
        {{"-x"}, "unknown option '-x'"},
        {{"--flag=1"}, "option '--flag' takes no value"},
        {{"--temp"}, "option '--temp' needs a value"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(usage_error_of(c.words), c.error) << c.words[0];
    // --help wins over anything else on the line.
    EXPECT_TRUE(parse({"--bogus", "-h"}).help);
}

TEST(CliArgs, NumbersAreWholeAndWithinTheirRange) {
    auto error = [](const std::vector<std::string>& words, auto read) {
        try {
            read(parse(words));
        } catch (const cli::UsageError& e) {
            return e.text;
        }
        return std::string("(accepted)");
    };
    auto temp = [](const cli::Args& a) { a.number_in("--temp", 21, -2, 40, "degrees C"); };
    auto whole = [](const cli::Args& a) { a.integer("--temp", 0, 0, 255); };
    EXPECT_EQ(error({"--temp", "2x"}, temp), "option '--temp' needs a number, not '2x'");
    EXPECT_EQ(error({"--temp", "41"}, temp), "--temp 41 is outside -2 to 40 degrees C");
    EXPECT_EQ(error({"--temp", "-2.5"}, temp), "--temp -2.5 is outside -2 to 40 degrees C");
    EXPECT_EQ(error({"--temp", "nan"}, temp), "--temp nan is outside -2 to 40 degrees C");
    EXPECT_EQ(error({"--temp", "40"}, temp), "(accepted)");
    EXPECT_EQ(error({}, temp), "(accepted)");
    EXPECT_EQ(error({"--temp", "1.5"}, whole), "option '--temp' needs a whole number, not '1.5'");
    EXPECT_EQ(error({"--temp", "256"}, whole), "--temp 256 is outside 0 to 255");
}

TEST(CliArgs, HelpListsEveryOption) {
    const std::string help = cli::help_text(kDemo);
    EXPECT_EQ(help, "Usage: velmora-cli demo FILE\n"
                    "\n"
                    "Does nothing.\n"
                    "\n"
                    "  -o, --output OUT           the output\n"
                    "  --temp C                   a temperature\n"
                    "  --flag                     a switch\n"
                    "                             with a second line\n"
                    "\n"
                    "More options:\n"
                    "  --a-rather-long-option-name VALUE\n"
                    "                             wraps below\n");
}

} // namespace
