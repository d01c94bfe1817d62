// The toolchain's win32 thread model has no std::mutex: a critical section,
// made by the first thread that takes the lock. Not by a function-local
// static: its guard makes the C++ runtime create a lock of its own, which
// nothing frees when a library holding this code is unloaded.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "resample/filter_cache_lock.h"

namespace {

enum : LONG { kAbsent, kBeingMade, kMade };

volatile LONG state = kAbsent;
CRITICAL_SECTION section;

void makeSectionOnce() {
  if (state == kMade) return;
  if (InterlockedCompareExchange(&state, kBeingMade, kAbsent) == kAbsent) {
    InitializeCriticalSection(&section);
    InterlockedExchange(&state, kMade);
    return;
  }
  while (state != kMade) Sleep(0);  // another thread is making it: a moment
}

}  // namespace

void lockFilterCache() {
  makeSectionOnce();
  EnterCriticalSection(&section);
}

void unlockFilterCache() { LeaveCriticalSection(&section); }

void releaseFilterCacheLock() {
  if (state != kMade) return;
  DeleteCriticalSection(&section);
  state = kAbsent;
}
