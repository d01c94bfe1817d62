#pragma once
#include <string>
#include <vector>

#include "command_line.h"

// Writes the --set values under HKCU\Software\Harborlane\Tonewright, where
// the plug-in reads them when it is loaded. False: `error` names the value.
bool writeSettingOverrides(const std::vector<SettingOverride>& settings, std::string& error);
