#pragma once
#include "host/command_line.h"
#include "host/file_report.h"
#include "host/output_plan.h"

struct PluginExports;
class RunSettings;
class ProgressBoard;
class CleanupWatchdog;

// What every conversion shares: the plug-in, the options, the run's
// settings, the display and the watcher over temporary files.
struct ConvertContext {
  const PluginExports& plugin;
  const HostOptions& options;
  const RunSettings& settings;
  ProgressBoard& board;
  CleanupWatchdog& watchdog;
};

// Converts one planned file through the plug-in, as the host does: create,
// blocks (the last with the end flag), delete; the output is written in a
// private folder (staged_output.h) and moved to its name only when complete.
// `index` tells the run's files apart. Fills `report` and prints its line
// unless interrupted. Returns 0 when converted; 1 when the conversion failed
// (plug-in error 3, read error, output not finished); 2 when the input was
// refused.
int convertOne(const ConvertContext& context, const PlannedOutput& planned, unsigned index, FileReport& report);

// Prints the file's line: a failed one on stderr, the others on stdout.
void printReport(ProgressBoard& board, bool verbose, const FileReport& report);
