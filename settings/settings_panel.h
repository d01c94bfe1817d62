#pragma once
// The settings panel: a child dialog (template 101 of the plug-in library)
// that edits sample rate, audio format, SureStream/single rate and the eight
// target audiences of `encoderSettings`, saving all settings to the registry
// after every command. Each command is one edit (settings_access.h): the
// change and its save are never interleaved with a load. It keeps no state
// of its own.
#include <windows.h>

// Reloads the settings when due, then creates a panel as a visible child of
// `parent` from the template in module encoderSettings.moduleHandle and moves it to (20, 34) of the parent's client
// area at its own size, without repainting. Nonzero when the panel was placed.
// The panel lives until the parent is destroyed; its handle is not kept.
BOOL showSettingsPanel(HWND parent);
