#include "host/convert_command.h"

#include <process.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "host/block_sizes.h"
#include "host/cleanup_watchdog.h"
#include "host/failure_diagnosis.h"
#include "host/file_report.h"
#include "host/interrupt.h"
#include "host/output_plan.h"
#include "host/plugin_input_format.h"
#include "host/plugin_library.h"
#include "host/progress_board.h"
#include "host/run_settings.h"
#include "settings/settings_catalogue.h"
#include "host/staged_output.h"
#include "wavfile/wav_reader.h"
#include "host/wide_text.h"
#include "host/windows_paths.h"

namespace {

const int kPluginFailed = 3;

// What one file's conversion saw, for its line.
struct FileOutcome {
  int32_t createError = 0;
  bool readFailed = false;
  std::string readError;
  bool interrupted = false;
  std::string diskFull;  // said at the first failure, while the engine's file still takes its room
  uint32_t blockCalls = 0;
  uint32_t failedBlockCalls = 0;
  uint64_t bytesSent = 0;
};

// Feeds the WAV data to the plug-in in blocks whose sizes BlockSizes picks,
// independently of the reader's whole-frame pieces: a block may end inside a
// frame. The last call carries the end flag.
class BlockFeeder {
public:
  BlockFeeder(WavReader& reader, BlockSizes sizes) : reader(reader), sizes(sizes) {}

  // Next block: its bytes stay valid until the next call. False on a read
  // error (the reader's error() says why).
  bool next(const uint8_t*& data, uint32_t& byteCount, bool& last) {
    uint32_t wanted = sizes.next();
    if (!fill(wanted)) return false;
    uint32_t available = uint32_t(staged.size() - consumed);
    byteCount = wanted < available ? wanted : available;
    data = staged.data() + consumed;
    consumed += byteCount;
    last = consumed == staged.size() && reader.bytesLeft() == 0;
    return true;
  }

private:
  static const uint32_t kReadBytes = 1 << 20;

  bool fill(uint32_t wanted) {
    if (staged.size() - consumed >= wanted) return true;
    staged.erase(staged.begin(), staged.begin() + consumed);
    consumed = 0;
    while (staged.size() < wanted && reader.bytesLeft() > 0) {
      size_t start = staged.size();
      uint32_t piece = wanted - uint32_t(start) > kReadBytes ? wanted - uint32_t(start) : kReadBytes;
      staged.resize(start + piece);
      uint32_t read = 0;
      if (!reader.read(staged.data() + start, piece, read)) return false;
      staged.resize(start + read);
      if (read == 0) break;
    }
    return true;
  }

  WavReader& reader;
  BlockSizes sizes;
  std::vector<uint8_t> staged;
  size_t consumed = 0;
};

// What every conversion shares: the plug-in, the options, the run's
// settings, the display and the watcher over temporary files.
struct ConvertContext {
  const PluginExports& plugin;
  const HostOptions& options;
  const RunSettings& settings;
  ProgressBoard& board;
  CleanupWatchdog& watchdog;
};

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list counting;
  va_copy(counting, arguments);
  int length = std::vsnprintf(nullptr, 0, format, counting);
  va_end(counting);
  std::string text(length > 0 ? size_t(length) : 0, '\0');
  if (length > 0) std::vsnprintf(&text[0], text.size() + 1, format, arguments);
  va_end(arguments);
  return text;
}

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

// "44100 Hz 2 ch Stereo Music": what the plug-in codes, from the run's settings.
std::string outputFormatText(const RunSettings& settings) {
  const EncoderSettings& used = settings.used();
  const char* name = choiceText(*findSetting("ZVKRMAudioFormat"), used.audioFormat);
  return formatted("%d Hz %d ch %s", int(used.sampleRate), codedChannelsFor(used.audioFormat), name ? name : "?");
}

// The length of what reached the plug-in: short after a read error.
double secondsSent(const WavFormat& format, const FileOutcome& outcome) {
  return double(outcome.bytesSent) / double(format.frameBytes()) / double(format.sampleRate);
}

// The plug-in's calls and codes, for --verbose.
std::string technicalDetails(const WavFormat& format, const FileOutcome& outcome) {
  return formatted("in: %d Hz %d-bit %d ch, %.3f s sent; create error %d, %u block calls, %u with error 3",
                   format.sampleRate, format.bitsPerSample, format.channels, secondsSent(format, outcome),
                   int(outcome.createError), outcome.blockCalls, outcome.failedBlockCalls);
}

// Why the plug-in failed, as far as plughost can tell from outside.
std::string pluginFailureReason(const ConvertContext& context, const WavFormat& format, const FileOutcome& outcome) {
  if (!outcome.diskFull.empty()) return outcome.diskFull;
  const std::string rates = rateRefusalReason(format, uint32_t(context.settings.used().sampleRate));
  if (!rates.empty()) return rates;
  if (outcome.createError != 0 || outcome.blockCalls == 0) {
    return "the plug-in could not set up the conversion (error 3 from CreateNewCompressionObject)";
  }
  return formatted("the plug-in reported error 3 for %u of %u blocks", outcome.failedBlockCalls, outcome.blockCalls);
}

// Opens the input by a name the reader's char interface can take: as given
// in the ANSI code page, or its short (8.3) name.
bool openInput(WavReader& reader, const PlannedOutput& planned, std::string& error) {
  std::string ansi;
  if (!ansiFormOf(planned.inputPath, ansi) && !ansiShortPathOf(planned.inputPath, ansi)) {
    error = GetFileAttributesW(planned.inputPath.c_str()) == INVALID_FILE_ATTRIBUTES
                ? "cannot open the file (it does not exist or cannot be read)"
                : "the name has characters outside the ANSI code page and no short (8.3) name";
    return false;
  }
  if (!reader.open(ansi.c_str())) {
    error = reader.error();
    return false;
  }
  return true;
}

// True when the input is a file plughost can read as a WAV file; otherwise
// `error` says what it is instead.
bool isReadableFile(const std::wstring& path, std::string& error) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = "it is a folder, not a WAV file";
    return false;
  }
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return true;  // the reader says why it cannot open it
  LARGE_INTEGER size = {};
  char probe = 0;
  DWORD read = 0;
  // A device (/dev/zero under Wine) reports no size yet yields bytes.
  bool device = GetFileType(file) != FILE_TYPE_DISK ||
                (GetFileSizeEx(file, &size) && size.QuadPart == 0 && ReadFile(file, &probe, 1, &read, nullptr) &&
                 read == 1);
  CloseHandle(file);
  if (device) error = "it is a device or pipe, not a file (plughost reads WAV files)";
  return !device;
}

// 0: converted; 1: the conversion failed (plug-in error 3, read error,
// output not finished); 2: input refused. `report` says which, and why.
int convertPlanned(const ConvertContext& context, const PlannedOutput& planned, unsigned index,
                   StagedOutput& staged, FileReport& report) {
  WavReader reader;
  std::string error;
  if (!isReadableFile(planned.inputPath, error) || !openInput(reader, planned, error) ||
      !pluginTakes(reader.format(), error)) {
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
    report.outcome = pluginFailureReason(context, reader.format(), outcome);
    return 1;
  }
  if (!staged.commit(context.options.overwrite, error)) {
    report.outcome = error;
    return 1;
  }
  report.result = FileReport::Result::Converted;
  report.output = narrowedToUtf8(pathAsStored(planned.outputPath));
  report.outcome = outputFormatText(context.settings) + formatted(", %.3f s", secondsSent(reader.format(), outcome));
  const std::string repairs = reader.repairsDescription();
  if (!repairs.empty()) report.notes.push_back(repairs);
  return 0;
}

// Prints the file's line: a failed one on stderr, the others on stdout.
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

// One file on a thread of its own.
struct FileJob {
  const ConvertContext* context = nullptr;
  const PlannedOutput* planned = nullptr;
  unsigned index = 0;
  int result = 0;
  FileReport report;
  HANDLE thread = nullptr;
};

unsigned __stdcall runFileJob(void* argument) {
  FileJob& job = *static_cast<FileJob*>(argument);
  job.result = convertOne(*job.context, *job.planned, job.index, job.report);
  return 0;
}

// Waits for one of the running jobs to end; returns its index in `running`.
size_t waitForAnyJob(const std::vector<FileJob*>& running) {
  std::vector<HANDLE> threads;
  for (const FileJob* job : running) threads.push_back(job->thread);
  DWORD ended = WaitForMultipleObjects(DWORD(threads.size()), threads.data(), FALSE, INFINITE);
  size_t index = ended - WAIT_OBJECT_0;
  return index < running.size() ? index : 0;
}

void finishJob(FileJob& job) {
  WaitForSingleObject(job.thread, INFINITE);
  CloseHandle(job.thread);
  job.thread = nullptr;
}

// The files `jobs` at a time, each on a new thread, as a multi-core converter
// runs them: every thread start is also reported to the plug-in, which
// reloads its settings then. Returns the worst result; counts each file.
int convertInParallel(const ConvertContext& context, const std::vector<PlannedOutput>& plan, uint32_t jobs,
                      RunTally& tally) {
  std::vector<FileJob> fileJobs(plan.size());
  std::vector<FileJob*> running;
  for (size_t next = 0; (next < plan.size() && !interrupted()) || !running.empty();) {
    if (next < plan.size() && !interrupted() && running.size() < jobs) {
      FileJob& job = fileJobs[next];
      job.context = &context;
      job.planned = &plan[next];
      job.index = unsigned(next);
      ++next;
      job.thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, runFileJob, &job, 0, nullptr));
      if (job.thread == nullptr) {
        // No thread to be had: this file runs here, on the calling thread.
        job.result = convertOne(context, *job.planned, job.index, job.report);
        continue;
      }
      running.push_back(&job);
      continue;
    }
    size_t ended = waitForAnyJob(running);
    finishJob(*running[ended]);
    running.erase(running.begin() + long(ended));
  }
  int worst = 0;
  for (const FileJob& job : fileJobs) {
    if (job.planned != nullptr) tally.count(job.report.result);
    worst = job.result > worst ? job.result : worst;
  }
  return worst;
}

int convertInTurn(const ConvertContext& context, const std::vector<PlannedOutput>& plan, RunTally& tally) {
  int worst = 0;
  for (size_t i = 0; i < plan.size() && !interrupted(); ++i) {
    FileReport report;
    int result = convertOne(context, plan[i], unsigned(i), report);
    tally.count(report.result);
    if (result > worst) worst = result;
  }
  return worst;
}

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
  int result = options.jobs <= 1 || plan.size() <= 1 ? convertInTurn(context, plan, tally)
                                                     : convertInParallel(context, plan, options.jobs, tally);
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
