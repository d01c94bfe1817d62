#include "host/convert_command.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/cleanup_watchdog.h"
#include "host/file_conversion.h"
#include "host/file_report.h"
#include "host/interrupt.h"
#include "host/job_scheduler.h"
#include "host/output_plan.h"
#include "host/plugin_library.h"
#include "host/progress_board.h"
#include "host/run_settings.h"
#include "host/wide_text.h"
#include "host/windows_paths.h"

namespace {

std::string extensionOf(const PluginExports& plugin) {
  char extension[260] = {};
  plugin.getExtensionYouCreate(extension);
  extension[259] = '\0';
  return narrowedToUtf8(widenedFromAnsi(extension));
}

// Leaves out the inputs whose output exists (unless --overwrite), saying
// so, and those whose output's place holds a folder, saying why they fail.
// Returns the worst result of those left out.
int withoutExistingOutputs(std::vector<PlannedOutput>& plan, const HostOptions& options, ProgressBoard& board,
                           RunTally& tally) {
  std::vector<PlannedOutput> kept;
  int worst = 0;
  for (const PlannedOutput& planned : plan) {
    DWORD attributes = GetFileAttributesW(planned.outputPath.c_str());
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (attributes == INVALID_FILE_ATTRIBUTES || (options.overwrite && !folder)) {
      kept.push_back(planned);
      continue;
    }
    FileReport report;
    report.input = planned.input;
    report.output = narrowedToUtf8(pathAsStored(planned.outputPath));
    report.result = folder ? FileReport::Result::Failed : FileReport::Result::Skipped;
    if (folder) report.outcome = "its output " + report.output + " is a folder, which an output file cannot replace";
    printReport(board, options.verbose, report);
    tally.count(report.result);
    if (folder) worst = 1;
  }
  plan = kept;
  return worst;
}

int convertWithPlugin(const HostOptions& options, const RunSettings& settings, CleanupWatchdog& watchdog) {
  std::string error;
  PluginLibrary library;
  std::string pluginPath = options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
  if (!library.load(pluginPath, error)) {
    writeText(stderr, "plughost: " + error + "\n");
    return 2;
  }
  std::vector<PlannedOutput> plan;
  if (!planOutputs(options.inputs, extensionOf(library.exports()), options.outDir, plan, error)) {
    writeText(stderr, "plughost: " + error + "; nothing was converted\n");
    return 2;
  }
  for (const std::string& ignored : settings.ignoredValues()) writeText(stderr, "plughost: " + ignored + "\n");
  RunTally tally;
  ProgressBoard board;
  int worst = withoutExistingOutputs(plan, options, board, tally);
  ConvertContext context{library.exports(), options, settings, board, watchdog};
  FileConversion convertFile = [&](size_t index, FileReport& report) {
    return convertOne(context, plan[index], unsigned(index), report);
  };
  int result = runFileJobs(plan.size(), options.jobs, convertFile, tally);
  if (!interrupted()) board.print(stdout, tally.line() + "\n");
  return result > worst ? result : worst;
}

}  // namespace

int runConvertCommand(const HostOptions& options) {
  installInterruptHandler();
  CleanupWatchdog watchdog;
  watchdog.start();
  RunSettings settings;
  std::string error;
  if (!settings.begin(options.settings, error)) {
    writeText(stderr, "plughost: " + error + "\n");
    return 2;
  }
  watchdog.watchKey(settings.privateKeyPath());
  int status = convertWithPlugin(options, settings, watchdog);
  settings.end();
  watchdog.finish();
  if (!interrupted()) return status;
  writeText(stderr, std::string("plughost: ") + interruptName() +
                        "; unfinished outputs were removed, finished ones kept\n");
  interruptCleanupDone();
  return interruptExitStatus();
}
