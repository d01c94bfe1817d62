#include "settings_access.h"

#include <windows.h>

namespace {

// Zero is the initialised state of a slim lock: ready before any code runs.
SRWLOCK recordLock = SRWLOCK_INIT;
SRWLOCK editLock = SRWLOCK_INIT;

}  // namespace

EncoderSettings currentEncoderSettings() {
  AcquireSRWLockShared(&recordLock);
  EncoderSettings copy = encoderSettings;
  ReleaseSRWLockShared(&recordLock);
  return copy;
}

SettingsEdit::SettingsEdit() {
  AcquireSRWLockExclusive(&editLock);
  // Only edits write the record, and this thread holds the edit lock: the
  // published record cannot change under this copy.
  working = encoderSettings;
}

SettingsEdit::~SettingsEdit() { ReleaseSRWLockExclusive(&editLock); }

void SettingsEdit::publish() {
  AcquireSRWLockExclusive(&recordLock);
  encoderSettings = working;
  ReleaseSRWLockExclusive(&recordLock);
}
