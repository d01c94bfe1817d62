#include "plugin/acm_stream_lock.h"

#include <windows.h>

namespace {

// The high bit makes XP allocate the section's wait event now, so that a
// contended enter cannot fail later for lack of memory (later versions
// ignore it). No spin: an open or close holds the lock far longer than a spin.
constexpr DWORD kAllocateEventNow = 0x80000000u;

CRITICAL_SECTION streamLock;
bool lockOpen = false;

}  // namespace

bool openAcmStreamLock() {
  if (lockOpen) return true;
  if (!InitializeCriticalSectionAndSpinCount(&streamLock, kAllocateEventNow)) return false;
  lockOpen = true;
  return true;
}

void closeAcmStreamLock() {
  if (!lockOpen) return;
  DeleteCriticalSection(&streamLock);
  lockOpen = false;
}

AcmStreamLock::AcmStreamLock() { EnterCriticalSection(&streamLock); }

AcmStreamLock::~AcmStreamLock() { LeaveCriticalSection(&streamLock); }
