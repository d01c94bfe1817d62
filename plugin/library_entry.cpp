// Library entry and the exports that serve the settings.
#include <cstring>
#include <type_traits>

#include "acm_stream_lock.h"
#include "encoder_settings.h"
#include "host_interface.h"
#include "output_extension.h"
#include "settings_access.h"
#include "settings_panel.h"
#include "settings_persistence.h"

// Reloads the settings at process attach and at every thread attach (the host
// may have changed them from another instance); nothing is saved at detach.
// The load publishes a complete record and may wait for a panel edit on
// another thread, which never needs the loader lock held here.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  // Without its locks the library cannot work: refusing the load is the one
  // honest answer (Windows then reports a detach and unloads it).
  if (reason == DLL_PROCESS_ATTACH && (!openSettingsAccess() || !openAcmStreamLock())) return FALSE;
  // Freed on FreeLibrary only: at process exit (reserved non-null) other
  // threads were stopped wherever they were, perhaps inside a lock.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    closeAcmStreamLock();
    closeSettingsAccess();
  }
  return loadEncoderSettings(module, reason);
}

char* __cdecl GetExtensionYouCreate(char* buffer) {
  // A copy: a load on another thread rewrites the text in place otherwise.
  const EncoderSettings settings = currentEncoderSettings();
  // The load already keeps only usable extensions; checking again here means
  // no way of filling the record can ever hand a host a name outside its
  // folder, or more than 17 bytes.
  std::strcpy(buffer, usableExtension(settings.extension));
  return buffer;
}

BOOL __cdecl ShowConfigBit(HWND parent) { return showSettingsPanel(parent); }

void __cdecl RemoveConfigBit(void) {}

// Each definition above must have exactly the type hosts call it through (a
// definition with other parameters would be an overload, and break these).
static_assert(std::is_same<decltype(GetExtensionYouCreate), GetExtensionYouCreateFunction>::value,
              "the export differs from the host interface");
static_assert(std::is_same<decltype(ShowConfigBit), ShowConfigBitFunction>::value,
              "the export differs from the host interface");
static_assert(std::is_same<decltype(RemoveConfigBit), RemoveConfigBitFunction>::value,
              "the export differs from the host interface");
