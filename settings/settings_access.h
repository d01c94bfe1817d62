#pragma once
// Thread-safe access to the published `encoderSettings` record.
//
// Windows reports every new thread of the host to the library, and after
// each report the next entry point that reads the settings reloads them
// (settings_persistence.h), while conversions are being set up on other
// threads and the panel edits the record on the interface thread. Two locks
// (critical sections) keep every reader's view whole:
//
// - the record lock guards the published record itself and is only ever
//   held for one copy of it (into a snapshot, or out of a finished working
//   copy), so nothing waits on it for longer than that;
// - the edit lock serialises whole edits, a load or a panel command with its
//   save: each starts from a copy of the published record, fills or changes
//   that working copy (registry I/O included) and then publishes it. Two
//   edits therefore never interleave, and no reader ever sees a half-loaded
//   or half-edited record.
//
// The library's process attach opens the locks before its first load, and an
// unload (FreeLibrary) closes them; a program that links these functions
// directly opens them before its first use. Neither lock is ever taken
// under the loader lock (the library entry only notes that a reload is due);
// still, code holding the edit lock does no library loads, no waiting on
// other threads and sends no window messages.
#include "settings/encoder_settings.h"

// Prepares both locks, once; nothing may use the record before. False when
// Windows had no memory for them.
bool openSettingsAccess();
// Frees the locks once nothing can use them any more (library unload).
void closeSettingsAccess();

// A consistent copy of the published record, as some completed edit left it.
EncoderSettings currentEncoderSettings();

// One read-modify-write of the record. The constructor waits for the edit
// before it to end; the destructor ends this one. Not copyable.
class SettingsEdit {
public:
  SettingsEdit();  // working copy = the published record
  ~SettingsEdit();
  SettingsEdit(const SettingsEdit&) = delete;
  SettingsEdit& operator=(const SettingsEdit&) = delete;

  EncoderSettings& record() { return working; }
  // The working copy becomes the published record in one step.
  void publish();

private:
  EncoderSettings working;
};
