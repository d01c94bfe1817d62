#include "convert_command.h"

#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "block_sizes.h"
#include "host_registry.h"
#include "output_naming.h"
#include "plugin_library.h"
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

class ProgressBar {
public:
  ProgressBar(const std::string& label, uint64_t total)
      : label(label), total(total), visible(_isatty(_fileno(stderr)) != 0) {}

  void show(uint64_t done) {
    if (!visible || total == 0) return;
    int percent = int(done * 100 / total);
    if (percent == lastPercent) return;
    lastPercent = percent;
    const int width = 30;
    int filled = percent * width / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%% %s", std::string(filled, '#').c_str(),
                 std::string(width - filled, ' ').c_str(), percent, label.c_str());
    std::fflush(stderr);
  }

  void clear() {
    if (visible && lastPercent >= 0) std::fprintf(stderr, "\r%*s\r", int(label.size()) + 38, "");
  }

private:
  std::string label;
  uint64_t total;
  bool visible;
  int lastPercent = -1;
};

void sendBlocks(const PluginExports& plugin, void* object, WavReader& reader,
                const HostOptions& options, const std::string& input, FileOutcome& outcome) {
  BlockSizes sizes = options.randomBlocks ? BlockSizes::random(options.randomSeed)
                                          : BlockSizes::fixed(options.blockBytes);
  BlockFeeder feeder(reader, sizes);
  ProgressBar progress(input, reader.dataBytes());
  for (;;) {
    const uint8_t* data = nullptr;
    uint32_t byteCount = 0;
    bool last = false;
    if (!feeder.next(data, byteCount, last)) {
      // The file went bad mid-way: end the stream with what was sent.
      std::fprintf(stderr, "plughost: %s: %s\n", input.c_str(), reader.error().c_str());
      byteCount = 0;
      last = true;
    }
    int32_t errorCode = -1;
    plugin.aNewDataBlockArrived(object, data, byteCount, last ? 1 : 0, &errorCode);
    ++outcome.blockCalls;
    if (errorCode == kPluginFailed) ++outcome.failedBlockCalls;
    outcome.bytesSent += byteCount;
    progress.show(outcome.bytesSent);
    if (last) break;
  }
  progress.clear();
}

void printSummary(const std::string& input, const WavFormat& format, uint32_t dataBytes,
                  const FileOutcome& outcome) {
  double seconds = double(dataBytes) / double(format.frameBytes()) / double(format.sampleRate);
  std::printf("%s: %d Hz %d-bit %d ch -> %s, %.3f s, create error %d, %u block calls, %u with error 3\n",
              input.c_str(), format.sampleRate, format.bitsPerSample, format.channels,
              outcome.outputPath.c_str(), seconds, int(outcome.createError), outcome.blockCalls,
              outcome.failedBlockCalls);
  std::fflush(stdout);
}

// 0: converted without error 3; 1: the plug-in reported 3; 2: input refused.
int convertOne(const PluginExports& plugin, const HostOptions& options, const std::string& input) {
  WavReader reader;
  if (!reader.open(input.c_str())) {
    std::fprintf(stderr, "plughost: %s: %s\n", input.c_str(), reader.error().c_str());
    return 2;
  }
  char extension[260] = {};
  plugin.getExtensionYouCreate(extension);
  extension[259] = '\0';
  FileOutcome outcome;
  outcome.outputPath = fullWindowsPath(outputPathFor(input, extension, options.outDir));
  // An extension such as ".wav" would have the engine replace the input.
  if (_stricmp(outcome.outputPath.c_str(), fullWindowsPath(input).c_str()) == 0) {
    std::fprintf(stderr, "plughost: %s: the output would replace the input (extension \"%s\")\n", input.c_str(),
                 extension);
    return 2;
  }

  WAVEFORMATEX hostFormat = hostFormatOf(reader.format());
  int32_t createError = -1;
  void* object = plugin.createNewCompressionObject(outcome.outputPath.c_str(), &createError, &hostFormat);
  outcome.createError = createError;
  if (object != nullptr && createError != kPluginFailed) {
    sendBlocks(plugin, object, reader, options, input, outcome);
  }
  if (object != nullptr) plugin.deleteCompressionObject(object);
  printSummary(input, reader.format(), reader.dataBytes(), outcome);
  if (object == nullptr) return 1;
  return createError == kPluginFailed || outcome.failedBlockCalls != 0 ? 1 : 0;
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
  int worst = 0;
  for (const std::string& input : options.inputs) {
    int result = convertOne(library.exports(), options, input);
    if (result > worst) worst = result;
  }
  return worst;
}
