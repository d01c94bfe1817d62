// entry_probe.dll: the plug-in's library entry with its settings code, and one
// export more, so that a test can hold the library's settings edit lock as
// long as it likes, as a panel save does while it writes the registry.
#include <windows.h>

#include "settings_access.h"

// Signals `held` once it holds an edit, and ends that edit when `release` is
// signalled.
extern "C" __declspec(dllexport) void __cdecl HoldSettingsEdit(HANDLE held, HANDLE release) {
  SettingsEdit edit;
  SetEvent(held);
  WaitForSingleObject(release, INFINITE);
}
