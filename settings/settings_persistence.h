#pragma once
// Loading and saving `encoderSettings` (encoder_settings.h) to the host's
// registry key, HKEY_CURRENT_USER\Software\Harborlane\Tonewright. The plug-in's
// values carry the prefix "ZVKRM".
#include <windows.h>

#include "encoder_settings.h"

// Called from the library's attach/detach notification with its module handle
// and reason code. On process attach (1) and thread attach (2) it builds a new
// record from a copy of the current one: audience flags reset to "audience 0
// only", the module handle stored, every stored value read over it by the
// rules of the settings catalogue (settings_catalogue.h); then it
// publishes the record whole (settings_access.h). On detach (0, 3) it does
// nothing. Always TRUE, so the library's load never fails because of the
// settings. It runs under the loader lock and may wait for a panel edit.
BOOL loadEncoderSettings(HINSTANCE moduleHandle, DWORD reason);

// Writes all thirteen values (rate, audio format, SureStream, audiences 0..7,
// title/artist order, extension) of `settings`. Callers hold the edit
// (SettingsEdit) that changed the record, so no load runs between the change
// and its save. Write failures are skipped silently.
void saveEncoderSettings(const EncoderSettings& settings);
