#pragma once
#include "command_line.h"

// Opens a host-like options window with the plug-in's settings panel
// embedded (ShowConfigBit), after writing any --set values. With a screenshot path the window is saved as a
// BMP once it has been drawn and closed; otherwise it stays until the person
// closes it. Returns the process exit code.
int runPanelCommand(const HostOptions& options);
