// Library entry and the exports that serve the settings.
#include <cstring>
#include <type_traits>

#include "plugin/acm_stream_lock.h"
#include "plugin/cxx_runtime.h"
#include "settings/encoder_settings.h"
#include "plugin/host_interface.h"
#include "plugin/live_objects.h"
#include "resample/sample_rate_converter.h"
#include "settings/output_extension.h"
#include "settings/settings_access.h"
#include "settings/settings_panel.h"
#include "settings/settings_persistence.h"

// Bookkeeping only, under the loader lock: it makes the library's locks at
// process attach and frees them at unload, and notes at every attach that the
// settings are to be reloaded (the host may have stored others meanwhile);
// the entry points that read them do the reload. Nothing here waits for
// another thread or touches the registry. Nothing is saved at detach.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      // Without its locks the library cannot work: refusing the load is the
      // one honest answer (Windows then reports a detach and unloads it).
      if (!openSettingsAccess() || !openAcmStreamLock() || !openLiveObjects()) return FALSE;
      noteEncoderSettingsReloadDue(module);
      return TRUE;
    case DLL_THREAD_ATTACH:
      noteEncoderSettingsReloadDue(module);
      return TRUE;
    case DLL_PROCESS_DETACH:
      // Freed on FreeLibrary only: at process exit (reserved non-null) other
      // threads were stopped wherever they were, perhaps inside a lock.
      if (reserved == nullptr) {
        closeLiveObjects();
        closeAcmStreamLock();
        closeSettingsAccess();
        releaseSharedConverterFilters();
        releaseCxxRuntimeReserve();  // last: nothing of the library throws after it
      }
      return TRUE;
    default:
      return TRUE;
  }
}

char* __cdecl GetExtensionYouCreate(char* buffer) {
  // A copy: a load on another thread rewrites the text in place otherwise.
  const EncoderSettings settings = storedEncoderSettings();
  // The load already keeps only usable extensions; checking again here means
  // no way of filling the record can ever hand a host a name outside its
  // folder, or more than 17 bytes.
  std::strcpy(buffer, usableExtension(settings.extension));
  return buffer;
}

BOOL __cdecl ShowConfigBit(HWND parent) {
  return showSettingsPanel(parent);
}

void __cdecl RemoveConfigBit(void) {}

// Each definition above must have exactly the type hosts call it through (a
// definition with other parameters would be an overload, and break these).
static_assert(std::is_same<decltype(GetExtensionYouCreate), GetExtensionYouCreateFunction>::value,
              "the export differs from the host interface");
static_assert(std::is_same<decltype(ShowConfigBit), ShowConfigBitFunction>::value,
              "the export differs from the host interface");
static_assert(std::is_same<decltype(RemoveConfigBit), RemoveConfigBitFunction>::value,
              "the export differs from the host interface");
