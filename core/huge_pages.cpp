#include "huge_pages.h"

#include <cstdlib>

#if defined(__linux__) && defined(__GLIBC__)
#include <unistd.h>

void request_huge_pages(char** argv) {
    // A user's own tuning is left alone, and the restarted program finds the variable set.
    if (std::getenv("GLIBC_TUNABLES") != nullptr || argv == nullptr || argv[0] == nullptr)
        return;
    if (::setenv("GLIBC_TUNABLES", "glibc.malloc.hugetlb=1", 1) != 0)
        return;
    ::execv("/proc/self/exe", argv);
    // The restart failed: go on as we are, without the tuning.
    ::unsetenv("GLIBC_TUNABLES");
}
#else
void request_huge_pages(char**) {}
#endif
