#include <cstdio>

#include "commands.h"

int cmd_info_data(int, char**) {
    std::fputs("not built yet\n", stderr);
    return 1;
}

int cmd_correct(int, char**) {
    std::fputs("not built yet\n", stderr);
    return 1;
}

int cmd_water(int, char**) {
    std::fputs("not built yet\n", stderr);
    return 1;
}

int cmd_devfile(int, char**) {
    std::fputs("not built yet\n", stderr);
    return 1;
}

