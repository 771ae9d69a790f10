#include <cstdio>

#include "commands.h"

int cmd_info_device(int, char**) {
    std::fputs("not built yet\n", stderr);
    return 1;
}

int cmd_info_capture(int, char**) {
    std::fputs("not built yet\n", stderr);
    return 1;
}

int cmd_simulate(int, char**) {
    std::fputs("not built yet\n", stderr);
    return 1;
}

int cmd_replay(int, char**) {
    std::fputs("not built yet\n", stderr);
    return 1;
}

