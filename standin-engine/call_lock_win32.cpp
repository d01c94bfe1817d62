#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "standin-engine/call_lock.h"

namespace standin {
namespace {

// Never destroyed: threads may still call in while the process exits.
CRITICAL_SECTION& section() {
  static CRITICAL_SECTION* made = [] {
    auto* s = new CRITICAL_SECTION;
    InitializeCriticalSection(s);
    return s;
  }();
  return *made;
}

}  // namespace

void lockCalls() { EnterCriticalSection(&section()); }
void unlockCalls() { LeaveCriticalSection(&section()); }

}  // namespace standin
