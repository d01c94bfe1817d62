#include "settings/settings_access.h"

#include <windows.h>

namespace {

// Critical sections exist on every Windows the plug-in supports (the slim
// reader/writer locks of later versions do not exist on XP). The high bit
// makes XP allocate each section's wait event now, so that entering a
// contended section later cannot fail for lack of memory; later versions
// ignore it. The spin count lets a short wait for a record copy spin on a
// multi-processor machine instead of sleeping.
constexpr DWORD kSpinCount = 0x80000000u | 4000u;

CRITICAL_SECTION recordLock;
CRITICAL_SECTION editLock;
bool locksOpen = false;

}  // namespace

bool openSettingsAccess() {
  if (!InitializeCriticalSectionAndSpinCount(&recordLock, kSpinCount)) return false;
  if (!InitializeCriticalSectionAndSpinCount(&editLock, kSpinCount)) {
    DeleteCriticalSection(&recordLock);
    return false;
  }
  locksOpen = true;
  return true;
}

void closeSettingsAccess() {
  if (!locksOpen) return;
  DeleteCriticalSection(&editLock);
  DeleteCriticalSection(&recordLock);
  locksOpen = false;
}

EncoderSettings currentEncoderSettings() {
  EnterCriticalSection(&recordLock);
  EncoderSettings copy = encoderSettings;
  LeaveCriticalSection(&recordLock);
  return copy;
}

SettingsEdit::SettingsEdit() {
  EnterCriticalSection(&editLock);
  // Only edits write the record, and this thread holds the edit lock: the
  // published record cannot change under this copy.
  working = encoderSettings;
}

SettingsEdit::~SettingsEdit() { LeaveCriticalSection(&editLock); }

void SettingsEdit::publish() {
  EnterCriticalSection(&recordLock);
  encoderSettings = working;
  LeaveCriticalSection(&recordLock);
}
