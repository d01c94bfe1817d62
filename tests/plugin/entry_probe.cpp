// entry_probe.dll: the plug-in's library entry and settings code, and exports
// that hold a settings edit open as a panel save does.
#include "settings/settings_access.h"

static SettingsEdit* edit = nullptr;
extern "C" __declspec(dllexport) void __cdecl BeginSettingsEdit() { edit = new SettingsEdit; }
extern "C" __declspec(dllexport) void __cdecl EndSettingsEdit() { delete edit; }
