#pragma once
#include "command_line.h"

// Converts every input through the plug-in, as the host does: extension,
// create, blocks (the last with the end flag), delete. Prints one summary
// line per file. Returns the process exit code: 0 when every file went
// through without error code 3, 1 when a plug-in call reported 3, 2 when an
// input or the plug-in itself could not be used.
int runConvertCommand(const HostOptions& options);
