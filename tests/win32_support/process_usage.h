#pragma once
// What the running process holds, for tests that check a library gives back
// what it took: open handles, bytes in use on its heaps, committed private
// memory. Works under Wine, whose GetProcessHandleCount reports nothing.
#include <windows.h>

#include <cstdint>

namespace processusage {

struct Usage {
  int64_t handles = 0;
  int64_t heapBytes = 0;     // busy blocks of every heap of the process
  int64_t privateBytes = 0;  // committed private memory: heaps, stacks, allocations
};

// Takes the heaps' locks while it walks them: other threads of the process
// should be quiet meanwhile, or the figures are a moment's.
Usage now();

}  // namespace processusage
