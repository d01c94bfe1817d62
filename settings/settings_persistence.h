#pragma once
// Loading and saving `encoderSettings` (encoder_settings.h) to the host's
// registry key, HKEY_CURRENT_USER\Software\Harborlane\Tonewright. The plug-in's
// values carry the prefix "ZVKRM".
#include <windows.h>

#include "settings/encoder_settings.h"

// The library entry's part, at process attach and every thread attach: notes
// that the record is to be loaded again before the settings are next used
// (the host may have stored others meanwhile). One interlocked increment, no
// waiting and no registry: safe under the loader lock. The module handle is
// the plug-in library's, stored into each loaded record.
void noteEncoderSettingsReloadDue(HINSTANCE moduleHandle);

// Called first by every entry point that reads the settings, never under the
// loader lock: when a reload was noted since the last one, builds a new record
// from a copy of the current one (the module handle stored, every stored
// value read over it by the rules of the settings catalogue,
// settings_catalogue.h, the audience flags as stored or else the default
// audience alone) and publishes it whole (settings_access.h); otherwise does
// nothing. It may wait for a panel edit to end.
void reloadEncoderSettingsIfDue();

// What an entry point reads the settings through: reloads them when due (as
// above), then returns a consistent copy of the published record.
EncoderSettings storedEncoderSettings();

// Writes all thirteen values (rate, audio format, SureStream, audiences 0..7,
// title/artist order, extension) of `settings`. Callers hold the edit
// (SettingsEdit) that changed the record, so no load runs between the change
// and its save. Write failures are skipped silently.
void saveEncoderSettings(const EncoderSettings& settings);
