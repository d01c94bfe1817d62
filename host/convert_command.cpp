#include "convert_command.h"

#include <process.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "block_sizes.h"
#include "host_registry.h"
#include "output_naming.h"
#include "plugin_library.h"
#include "progress_board.h"
#include "wav_reader.h"

namespace {

const int kPluginFailed = 3;

// What one file's conversion saw, for its summary line.
struct FileOutcome {
  std::string outputPath;
  int32_t createError = 0;
  uint32_t blockCalls = 0;
  uint32_t failedBlockCalls = 0;
  uint64_t bytesSent = 0;
  bool deleted = false;
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

WAVEFORMATEX hostFormatOf(const WavFormat& format) {
  WAVEFORMATEX wave = {};
  wave.wFormatTag = WAVE_FORMAT_PCM;
  wave.nChannels = WORD(format.channels);
  wave.nSamplesPerSec = DWORD(format.sampleRate);
  wave.wBitsPerSample = WORD(format.bitsPerSample);
  wave.nBlockAlign = WORD(format.frameBytes());
  wave.nAvgBytesPerSec = wave.nBlockAlign * wave.nSamplesPerSec;
  wave.cbSize = 0;
  return wave;
}

// What every conversion shares: the plug-in, the options and the display.
struct ConvertContext {
  const PluginExports& plugin;
  const HostOptions& options;
  ProgressBoard& board;
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

void sendBlocks(const ConvertContext& context, CompressionObject* object, WavReader& reader, const std::string& input,
                FileOutcome& outcome) {
  const HostOptions& options = context.options;
  BlockSizes sizes = options.randomBlocks ? BlockSizes::random(options.randomSeed)
                                          : BlockSizes::fixed(options.blockBytes);
  BlockFeeder feeder(reader, sizes);
  int progressSlot = context.board.add(input, reader.dataBytes());
  for (;;) {
    const uint8_t* data = nullptr;
    uint32_t byteCount = 0;
    bool last = false;
    if (!feeder.next(data, byteCount, last)) {
      // The file went bad mid-way: end the stream with what was sent.
      context.board.print(stderr, "plughost: " + input + ": " + reader.error() + "\n");
      byteCount = 0;
      last = true;
    }
    int32_t errorCode = -1;
    context.plugin.aNewDataBlockArrived(object, data, byteCount, last ? 1 : 0, &errorCode);
    ++outcome.blockCalls;
    if (errorCode == kPluginFailed) ++outcome.failedBlockCalls;
    outcome.bytesSent += byteCount;
    context.board.update(progressSlot, outcome.bytesSent);
    if (last) break;
  }
  context.board.remove(progressSlot);
}

void printSummary(ProgressBoard& board, const std::string& input, const WavFormat& format,
                  uint32_t dataBytes, const FileOutcome& outcome) {
  double seconds = double(dataBytes) / double(format.frameBytes()) / double(format.sampleRate);
  board.print(stdout, formatted("%s: %d Hz %d-bit %d ch -> %s, %.3f s, create error %d, %u block calls, "
                                "%u with error 3\n",
                                input.c_str(), format.sampleRate, format.bitsPerSample, format.channels,
                                outcome.outputPath.c_str(), seconds, int(outcome.createError),
                                outcome.blockCalls, outcome.failedBlockCalls));
}

// 0: converted without error 3; 1: the plug-in reported 3; 2: input refused.
int convertOne(const ConvertContext& context, const std::string& input) {
  const PluginExports& plugin = context.plugin;
  WavReader reader;
  if (!reader.open(input.c_str())) {
    context.board.print(stderr, "plughost: " + input + ": " + reader.error() + "\n");
    return 2;
  }
  char extension[260] = {};
  plugin.getExtensionYouCreate(extension);
  extension[259] = '\0';
  FileOutcome outcome;
  outcome.outputPath = fullWindowsPath(outputPathFor(input, extension, context.options.outDir));
  // An extension such as ".wav" would have the engine replace the input.
  if (_stricmp(outcome.outputPath.c_str(), fullWindowsPath(input).c_str()) == 0) {
    context.board.print(stderr, formatted("plughost: %s: the output would replace the input (extension \"%s\")\n",
                                          input.c_str(), extension));
    return 2;
  }

  WAVEFORMATEX hostFormat = hostFormatOf(reader.format());
  int32_t createError = -1;
  CompressionObject* object = plugin.createNewCompressionObject(outcome.outputPath.c_str(), &createError, &hostFormat);
  outcome.createError = createError;
  if (object != nullptr && createError != kPluginFailed) {
    sendBlocks(context, object, reader, input, outcome);
  }
  if (object != nullptr) plugin.deleteCompressionObject(object);
  printSummary(context.board, input, reader.format(), reader.dataBytes(), outcome);
  if (object == nullptr) return 1;
  return createError == kPluginFailed || outcome.failedBlockCalls != 0 ? 1 : 0;
}

// One file on a thread of its own.
struct FileJob {
  const ConvertContext* context = nullptr;
  const std::string* input = nullptr;
  int result = 2;
  HANDLE thread = nullptr;
};

unsigned __stdcall runFileJob(void* argument) {
  FileJob& job = *static_cast<FileJob*>(argument);
  job.result = convertOne(*job.context, *job.input);
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
// reloads its settings then. Returns the worst result.
int convertInParallel(const ConvertContext& context, uint32_t jobs) {
  const std::vector<std::string>& inputs = context.options.inputs;
  std::vector<FileJob> fileJobs(inputs.size());
  std::vector<FileJob*> running;
  for (size_t next = 0; next < inputs.size() || !running.empty();) {
    if (next < inputs.size() && running.size() < jobs) {
      FileJob& job = fileJobs[next];
      job.context = &context;
      job.input = &inputs[next];
      ++next;
      job.thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, runFileJob, &job, 0, nullptr));
      if (job.thread == nullptr) {
        // No thread to be had: this file runs here, on the calling thread.
        job.result = convertOne(context, *job.input);
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
  for (const FileJob& job : fileJobs) worst = job.result > worst ? job.result : worst;
  return worst;
}

int convertInTurn(const ConvertContext& context) {
  int worst = 0;
  for (const std::string& input : context.options.inputs) {
    int result = convertOne(context, input);
    if (result > worst) worst = result;
  }
  return worst;
}

}  // namespace

int runConvertCommand(const HostOptions& options) {
  std::string error;
  if (!writeSettingOverrides(options.settings, error)) {
    std::fprintf(stderr, "plughost: %s\n", error.c_str());
    return 2;
  }
  PluginLibrary library;
  std::string pluginPath = options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
  if (!library.load(pluginPath, error)) {
    std::fprintf(stderr, "plughost: %s\n", error.c_str());
    return 2;
  }
  ProgressBoard board;
  ConvertContext context{library.exports(), options, board};
  if (options.jobs <= 1 || options.inputs.size() <= 1) return convertInTurn(context);
  return convertInParallel(context, options.jobs);
}
