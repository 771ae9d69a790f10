// velmora-cli: the command-line companion of the Velmora desktop app.
#include "huge_pages.h"
#include <clocale>
#include <cstdio>
#include <string>

#include "commands.h"

namespace {

const char* const usage =
    "Usage: velmora-cli <command> [options]\n"
    "\n"
    "Commands:\n"
    "  info FILE                 summarise a data, corrected, water or device file\n"
    "  info --dev DEV CAPTURE    say what a raw capture decodes to\n"
    "  correct DATA... (-o OUT | -d OUTDIR) [options]\n"
    "                            apply corrections and write corrected files\n"
    "  water DATA --records SPEC --temp C -o OUT.wcf\n"
    "                            write a water calibration file from records\n"
    "  devfile DATA --records SPEC -o OUT.dev\n"
    "                            write a device file with offsets moved by records\n"
    "  simulate --model hyp|flw --dev DEV (-o FILE | --pty LINK)\n"
    "                            produce an instrument's byte stream\n"
    "  replay --dev DEV CAPTURE -o OUT\n"
    "                            decode a raw capture into a data file\n"
    "  acquire --dev DEV --port N -o OUT.dat\n"
    "                            log an instrument without a window\n"
    "  seabass-check FILE...     check SeaBASS files against the archive's rules\n"
    "\n"
    "Records are numbered from 0 here (--records 0 is the first record; the app's views count\n"
    "from 1).  Run 'velmora-cli <command> --help' for the options of a command.\n";

} // namespace

int main(int argc, char** argv) {
    request_huge_pages(argv);
    // The terminal and messages follow the user's locale; numbers in files never do.
    std::setlocale(LC_ALL, "");
    if (argc < 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::puts("velmora-cli 2.0");
        return 0;
    }
    struct Entry {
        const char* name;
        int (*run)(int, char**);
    };
    static const Entry entries[] = {
        {"info", cmd_info},         {"correct", cmd_correct},
        {"water", cmd_water},       {"devfile", cmd_devfile},
        {"simulate", cmd_simulate}, {"replay", cmd_replay},
        {"acquire", cmd_acquire},   {"seabass-check", cmd_seabass_check},
    };
    for (const Entry& e : entries)
        if (command == e.name)
            return e.run(argc - 1, argv + 1);
    std::fprintf(stderr, "velmora-cli: unknown command '%s'\n\n%s", command.c_str(), usage);
    return 2;
}
