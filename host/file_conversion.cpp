#include "host/file_conversion.h"

#include <string>

#include "host/block_feeder.h"
#include "host/block_sizes.h"
#include "host/cleanup_watchdog.h"
#include "host/failure_diagnosis.h"
#include "host/file_outcome.h"
#include "host/input_file.h"
#include "host/interrupt.h"
#include "host/outcome_text.h"
#include "host/plugin_input_format.h"
#include "host/plugin_library.h"
#include "host/progress_board.h"
#include "host/run_settings.h"
#include "host/staged_output.h"
#include "host/wide_text.h"
#include "host/windows_paths.h"
#include "wavfile/wav_reader.h"

namespace {

const int kPluginFailed = 3;

// Sends every block, the last with the end flag. A read error or an
// interrupt stops the stream where it is; the output is then discarded.
void sendBlocks(const ConvertContext& context, CompressionObject* object, WavReader& reader, const PlannedOutput& planned,
                FileOutcome& outcome) {
  const std::string& input = planned.input;
  const HostOptions& options = context.options;
  BlockSizes sizes = options.randomBlocks ? BlockSizes::random(options.randomSeed)
                                          : BlockSizes::fixed(options.blockBytes);
  BlockFeeder feeder(reader, sizes);
  int progressSlot = context.board.add(input, reader.dataBytes());
  for (;;) {
    if (interrupted()) {
      outcome.interrupted = true;
      break;
    }
    const uint8_t* data = nullptr;
    uint32_t byteCount = 0;
    bool last = false;
    if (!feeder.next(data, byteCount, last)) {
      outcome.readError = reader.error();
      outcome.readFailed = true;
      break;
    }
    int32_t errorCode = -1;
    context.plugin.aNewDataBlockArrived(object, data, byteCount, last ? 1 : 0, &errorCode);
    ++outcome.blockCalls;
    if (errorCode == kPluginFailed && outcome.failedBlockCalls++ == 0) {
      outcome.diskFull = diskFullReason(folderOf(planned.outputPath));
    }
    outcome.bytesSent += byteCount;
    context.board.update(progressSlot, outcome.bytesSent);
    if (last) break;
  }
  context.board.remove(progressSlot);
}

// 0: converted; 1: the conversion failed (plug-in error 3, read error,
// output not finished); 2: input refused. `report` says which, and why.
int convertPlanned(const ConvertContext& context, const PlannedOutput& planned, unsigned index,
                   StagedOutput& staged, FileReport& report) {
  WavReader reader;
  std::string error;
  if (!openInputFile(reader, planned.inputPath, error) || !pluginTakes(reader.format(), error)) {
    report.outcome = error;
    return 2;
  }
  if (!staged.prepare(planned.outputPath, index, error)) {
    report.outcome = error;
    return 1;
  }
  context.watchdog.watchFolder(staged.folder());
  if (!staged.keepsTheName()) {
    report.notes.push_back("title and artist could not be taken from the name (it has characters outside the "
                           "ANSI code page, so the plug-in wrote it under a temporary name)");
  }
  FileOutcome outcome;
  WAVEFORMATEXTENSIBLE hostFormat = pluginInputFormat(reader.format());
  int32_t createError = -1;
  CompressionObject* object =
      context.plugin.createNewCompressionObject(staged.pluginPath().c_str(), &createError, &hostFormat.Format);
  outcome.createError = createError;
  if (object == nullptr || createError == kPluginFailed) {
    outcome.diskFull = diskFullReason(folderOf(planned.outputPath));
  } else {
    sendBlocks(context, object, reader, planned, outcome);
  }
  if (object != nullptr) context.plugin.deleteCompressionObject(object);
  report.details = technicalDetails(reader.format(), outcome);
  if (outcome.interrupted) return 1;
  if (outcome.readFailed) {
    report.outcome = outcome.readError;
    return 1;
  }
  if (object == nullptr || createError == kPluginFailed || outcome.failedBlockCalls != 0) {
    report.outcome = pluginFailureReason(reader.format(), uint32_t(context.settings.used().sampleRate), outcome);
    return 1;
  }
  if (!staged.commit(context.options.overwrite, error)) {
    report.outcome = error;
    return 1;
  }
  report.result = FileReport::Result::Converted;
  report.output = narrowedToUtf8(pathAsStored(planned.outputPath));
  report.outcome = convertedOutcomeText(context.settings.used(), reader.format(), outcome);
  const std::string repairs = reader.repairsDescription();
  if (!repairs.empty()) report.notes.push_back(repairs);
  return 0;
}

}  // namespace

void printReport(ProgressBoard& board, bool verbose, const FileReport& report) {
  const bool failed = report.result == FileReport::Result::Failed;
  board.print(failed ? stderr : stdout, (failed ? "plughost: " : "") + reportLine(report, verbose) + "\n");
}

int convertOne(const ConvertContext& context, const PlannedOutput& planned, unsigned index, FileReport& report) {
  StagedOutput staged;
  report.input = planned.input;
  int result = convertPlanned(context, planned, index, staged, report);
  const std::wstring folder = staged.folder();
  staged.discard();
  if (!folder.empty()) context.watchdog.forgetFolder(folder);
  if (!interrupted()) printReport(context.board, context.options.verbose, report);
  return result;
}
