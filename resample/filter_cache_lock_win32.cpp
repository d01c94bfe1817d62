// The toolchain's win32 thread model has no std::mutex: a critical section.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "resample/filter_cache_lock.h"

namespace {

// Made on first use and never deleted: threads may still set up converters
// while the process exits.
CRITICAL_SECTION& section() {
  static CRITICAL_SECTION made;
  static const bool initialised = [] {
    InitializeCriticalSection(&made);
    return true;
  }();
  (void)initialised;
  return made;
}

}  // namespace

void lockFilterCache() { EnterCriticalSection(&section()); }
void unlockFilterCache() { LeaveCriticalSection(&section()); }
