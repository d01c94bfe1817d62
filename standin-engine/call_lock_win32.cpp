#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "standin-engine/call_lock.h"

namespace standin {
namespace {

// Made when the library loads and freed when it goes: calls come only in
// between, and at process exit Windows has stopped every other thread before
// the library's objects are destroyed. A namespace-scope object, not a
// function-local static: that one's guard would make the C++ runtime create
// a lock that outlives an unloaded library.
struct CallSection {
  CallSection() { InitializeCriticalSection(&section); }
  ~CallSection() { DeleteCriticalSection(&section); }
  CRITICAL_SECTION section;
};
CallSection calls;

}  // namespace

void lockCalls() { EnterCriticalSection(&calls.section); }
void unlockCalls() { LeaveCriticalSection(&calls.section); }

}  // namespace standin
