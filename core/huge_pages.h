// Large data sets are hundreds of thousands of small record allocations; on a machine where the
// kernel hands out transparent huge pages only on request, first touching that memory page by
// page costs more than parsing the file.  Programs call this first thing in main().
#pragma once

// Restarts the running program with the C library's heap asking for huge pages, unless the
// environment already says how the heap is to be tuned.  Returns (doing nothing) where that is not
// possible; never fails.
void request_huge_pages(char** argv);
