// Library entry and the exports that serve the settings.
#include <cstring>

#include "encoder_settings.h"
#include "exports.h"
#include "settings_panel.h"
#include "settings_persistence.h"

// Reloads the settings at process attach and at every thread attach (the host
// may have changed them from another instance); nothing happens at detach.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  return loadEncoderSettings(module, reason);
}

char* __cdecl GetExtensionYouCreate(char* buffer) {
  constexpr size_t kBufferBytes = sizeof encoderSettings.extension;  // 260
  // The field is kept terminated; bounding the copy anyway means a damaged
  // field can never make us write past the host's 260 bytes.
  const size_t length = strnlen(encoderSettings.extension, kBufferBytes - 1);
  std::memcpy(buffer, encoderSettings.extension, length);
  buffer[length] = '\0';
  return buffer;
}

BOOL __cdecl ShowConfigBit(HWND parent) { return showSettingsPanel(parent); }

void __cdecl RemoveConfigBit(void) {}
