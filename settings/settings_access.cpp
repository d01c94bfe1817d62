#include "settings/settings_access.h"

#include "windows/process_lock.h"

namespace {

// The spin count lets a short wait for a record copy spin on a
// multi-processor machine instead of sleeping.
constexpr DWORD kSpinCount = 4000u;

ProcessLock recordLock;
ProcessLock editLock;

}  // namespace

bool openSettingsAccess() {
  if (!recordLock.open(kSpinCount)) return false;
  if (!editLock.open(kSpinCount)) {
    recordLock.close();
    return false;
  }
  return true;
}

void closeSettingsAccess() {
  editLock.close();
  recordLock.close();
}

EncoderSettings currentEncoderSettings() {
  ProcessLockHold hold(recordLock);
  return encoderSettings;
}

SettingsEdit::SettingsEdit() {
  editLock.enter();
  // Only edits write the record, and this thread holds the edit lock: the
  // published record cannot change under this copy.
  working = encoderSettings;
}

SettingsEdit::~SettingsEdit() { editLock.leave(); }

void SettingsEdit::publish() {
  ProcessLockHold hold(recordLock);
  encoderSettings = working;
}
