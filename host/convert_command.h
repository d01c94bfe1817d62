#pragma once
#include "host/command_line.h"

// Converts every input through the plug-in, as the host does: extension,
// create, blocks (the last with the end flag), delete, with the run's own
// settings (run_settings.h). The outputs are planned and checked first
// (output_plan.h); outputs that exist are skipped unless --overwrite; each is
// written through a temporary folder (staged_output.h). Prints one line per
// file (converted, skipped, or failed and why) and the run's tally. Returns the process exit code: 0 when every file went
// through (or was skipped), 1 when a conversion failed (error code 3, a read
// error, an output that could not be written), 2 when the run, an input or
// the plug-in itself was refused, 130 / 143 when interrupted.
int runConvertCommand(const HostOptions& options);
