#include "windows/process_lock.h"

namespace {

// The high bit of the spin count: allocate the wait event now (XP).
constexpr DWORD kAllocateEventNow = 0x80000000u;

}  // namespace

bool ProcessLock::open(DWORD spinCount) {
  if (opened) return true;
  if (!InitializeCriticalSectionAndSpinCount(&section, kAllocateEventNow | spinCount)) return false;
  opened = true;
  return true;
}

void ProcessLock::close() {
  if (!opened) return;
  DeleteCriticalSection(&section);
  opened = false;
}
