#pragma once
#include "host/command_line.h"

// Opens a host-like options window with the plug-in's settings panel
// embedded (ShowConfigBit). Without --set, edits on the panel are stored;
// with --set, the panel shows those values and its edits last only while it
// is open. With a screenshot path the window is saved as a BMP once it has
// been drawn and closed; otherwise it stays until the person closes it.
// Without a display to show it on, it says so and returns at once. Returns
// the process exit code.
int runPanelCommand(const HostOptions& options);
