// srconv: converts the sample rate of raw PCM (stdin to stdout) or of a WAV
// file with the plug-in's SampleRateConverter, feeding it host blocks of a
// chosen size so that its block handling can be exercised from the shell.

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "block_source.h"
#include "options.h"
#include "progress_bar.h"
#include "rate_pair_check.h"
#include "sample_rate_converter.h"
#include "wav_reader.h"
#include "wav_writer.h"

namespace {

enum ExitStatus { kDone = 0, kUsageOrIoError = 1, kRefused = 2, kOutOfMemory = 3 };

int failWith(int status, const std::string& message) {
  std::fprintf(stderr, "srconv: %s\n", message.c_str());
  return status;
}

// Where converted PCM goes: stdout in raw mode, a WAV file otherwise.
struct OutputSink {
  std::FILE* stream = nullptr;
  WavWriter* writer = nullptr;

  bool write(const uint8_t* bytes, uint32_t count) {
    if (writer != nullptr) return writer->write(bytes, count);
    return std::fwrite(bytes, 1, count, stream) == count;
  }
};

void printDesign(const SampleRateConverter& converter) {
  ConverterDesign d = converter.design();
  std::fprintf(stderr,
               "{\"upsampling\":%s,\"q\":%d,\"stage1Rate\":%d,\"stage2Rate\":%d,\"stage1Length\":%d,"
               "\"stage2Length\":%d,\"tapsPerPhase\":%d,\"phases\":%d,\"M\":%d,\"outputDelay\":%d,"
               "\"framesIn\":%llu,\"framesOut\":%llu}\n",
               d.upsampling ? "true" : "false", d.oversampling, d.stage1Rate, d.stage2Rate, d.stage1Length,
               d.stage2Length, d.tapsPerPhase, d.phases, d.fftLength, d.outputDelay,
               static_cast<unsigned long long>(converter.framesIn()),
               static_cast<unsigned long long>(converter.framesOut()));
}

// Feeds every host block to the converter and writes what it returns.
int convertAll(SampleRateConverter& converter, BlockSource& source, OutputSink& sink, ProgressBar& progress) {
  std::vector<uint8_t> block;
  const uint8_t emptyBlock = 0;
  bool isLast = false;
  while (!isLast) {
    if (!source.next(block, isLast)) return failWith(kUsageOrIoError, source.error());
    uint32_t byteCount = uint32_t(block.size());
    uint8_t* output = nullptr;
    if (!converter.convertBlock(block.empty() ? &emptyBlock : block.data(), byteCount, isLast, output))
      return failWith(kOutOfMemory, "out of memory while converting");
    std::unique_ptr<uint8_t[]> owned(output);
    if (byteCount > 0 && !sink.write(output, byteCount)) return failWith(kUsageOrIoError, "cannot write the output");
    progress.update(source.bytesDelivered());
  }
  progress.finish();
  return kDone;
}

int configureOrFail(SampleRateConverter& converter, const PcmFormat& input, int outputRate) {
  std::string refusal = refusalReason(input, outputRate);
  if (!refusal.empty()) return failWith(kRefused, refusal);
  if (!converter.configure(input, outputRate)) return failWith(kOutOfMemory, "out of memory while setting up the converter");
  return kDone;
}

int runRaw(const Options& options) {
  PcmFormat input;
  input.channels = options.channels;
  input.sampleRate = options.inputRate;
  input.bitsPerSample = options.bitsPerSample;
  SampleRateConverter converter;
  int status = configureOrFail(converter, input, options.outputRate);
  if (status != kDone) return status;
  BlockSource source(stdin, options);
  OutputSink sink;
  sink.stream = stdout;
  ProgressBar silent(stderr, 0);  // raw mode has no known length: never drawn
  status = convertAll(converter, source, sink, silent);
  if (status == kDone && std::fflush(stdout) != 0) status = failWith(kUsageOrIoError, "cannot write the output");
  if (options.printInfo) printDesign(converter);
  return status;
}

int runWav(const Options& options) {
  WavReader reader;
  if (!reader.open(options.inputPath.c_str())) return failWith(kRefused, options.inputPath + ": " + reader.error());
  PcmFormat input;
  input.channels = reader.format().channels;
  input.sampleRate = reader.format().sampleRate;
  input.bitsPerSample = reader.format().bitsPerSample;
  SampleRateConverter converter;
  int status = configureOrFail(converter, input, options.outputRate);
  if (status != kDone) return status;

  WavWriter writer;
  WavFormat outputFormat = reader.format();
  outputFormat.sampleRate = options.outputRate;
  if (!writer.open(options.outputPath.c_str(), outputFormat)) return failWith(kUsageOrIoError, writer.error());
  BlockSource source(reader, options);
  OutputSink sink;
  sink.writer = &writer;
  ProgressBar progress(stderr, reader.dataBytes());
  status = convertAll(converter, source, sink, progress);
  if (!writer.close() && status == kDone) status = failWith(kUsageOrIoError, writer.error());
  if (options.printInfo) printDesign(converter);
  return status;
}

int run(int argc, char** argv) {
  Options options;
  std::string error;
  if (!parseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "srconv: %s (see srconv --help)\n", error.c_str());
    return kUsageOrIoError;
  }
  if (options.showHelp) {
    std::fputs(usageText(), stdout);
    return kDone;
  }
  return options.wavMode ? runWav(options) : runRaw(options);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    return failWith(kOutOfMemory, "out of memory");
  }
}
