#include <cstdio>

#include "commands.h"

int cmd_acquire(int, char**) {
    std::fputs("not built yet\n", stderr);
    return 1;
}

