#pragma once
// Loading and saving `encoderSettings` (encoder_settings.h) to the host's
// registry key, HKEY_CURRENT_USER\Software\Harborlane\Tonewright. The plug-in's
// values carry the prefix "ZVKRM".
#include <windows.h>

// Called from the library's attach/detach notification with its module handle
// and reason code. On process attach (1) and thread attach (2) it resets the
// audience flags to "audience 0 only", stores the module handle and reads every
// stored value over the record; on detach (0, 3) it does nothing. Always TRUE,
// so the library's load never fails because of the settings.
BOOL loadEncoderSettings(HINSTANCE moduleHandle, DWORD reason);

// Writes all thirteen values (rate, audio format, SureStream, audiences 0..7,
// title/artist order, extension). Write failures are skipped silently.
void saveEncoderSettings();
