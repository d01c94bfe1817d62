// srconv: converts the sample rate of raw PCM (stdin to stdout) or of a WAV
// file with the plug-in's SampleRateConverter, feeding it host blocks of a
// chosen size so that its block handling can be exercised from the shell.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "srconv/block_source.h"
#include "srconv/interrupts.h"
#include "srconv/options.h"
#include "srconv/progress_bar.h"
#include "resample/sample_rate_converter.h"
#include "srconv/temporary_output.h"
#include "wavfile/wav_reader.h"
#include "wavfile/wav_writer.h"

namespace {

enum ExitStatus { kDone = 0, kUsageOrIoError = 1, kRefused = 2, kOutOfMemory = 3 };

// The converter returns each block's output in one allocation: blocks whose
// output could pass this are refused before anything is converted.
constexpr uint64_t kMaxOutputBlockBytes = uint64_t(1) << 30;

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
    errno = 0;
    return std::fwrite(bytes, 1, count, stream) == count;
  }
  std::string error() const {
    return writer != nullptr ? writer->error() : "cannot write the output: " + describeWriteError(errno);
  }
};

// The keys number the filters in the order the signal meets them: the
// polyphase filter first when up-sampling, the FFT filter first otherwise.
void printDesign(const SampleRateConverter& converter) {
  const ConverterDesign d = converter.design();
  const bool up = d.upsampling;
  std::fprintf(stderr,
               "{\"upsampling\":%s,\"q\":%d,\"stage1Rate\":%d,\"stage2Rate\":%d,\"stage1Length\":%d,"
               "\"stage2Length\":%d,\"tapsPerPhase\":%d,\"phases\":%d,\"M\":%d,\"outputDelay\":%d,"
               "\"framesIn\":%llu,\"framesOut\":%llu}\n",
               up ? "true" : "false", d.oversampling, up ? d.polyphaseRate : d.fftRate,
               up ? d.fftRate : d.polyphaseRate, up ? d.polyphaseTaps : d.fftTaps, up ? d.fftTaps : d.polyphaseTaps,
               d.tapsPerPhase, d.phases, d.fftLength, d.outputDelay,
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
    if (byteCount > 0 && !sink.write(output, byteCount)) return failWith(kUsageOrIoError, sink.error());
    progress.update(source.bytesDelivered());
  }
  progress.finish();
  return kDone;
}

std::string formatText(const PcmFormat& input, int outputRate) {
  return std::to_string(input.sampleRate) + " -> " + std::to_string(outputRate) + " Hz, " +
         std::to_string(input.channels) + " channels, " + std::to_string(input.bitsPerSample) + "-bit";
}

// The most output one block of blockBytes can give: its frames scaled by the
// ratio, plus the frames the end of the stream adds.
uint64_t largestOutputBlock(const PcmFormat& input, int outputRate, uint32_t blockBytes) {
  uint64_t frameBytes = uint64_t(input.channels) * uint64_t(input.bitsPerSample / 8);
  uint64_t frames = (blockBytes / frameBytes + 2) * uint64_t(outputRate) / uint64_t(input.sampleRate) + 3;
  return frames * frameBytes;
}

int configureOrFail(SampleRateConverter& converter, const PcmFormat& input, const Options& options) {
  if (!converter.configure(input, options.outputRate)) {
    const char* reason = converter.refusalReason();
    int status = reason == SampleRateConverter::kOutOfMemoryReason ? kOutOfMemory : kRefused;
    return failWith(status, "cannot convert " + formatText(input, options.outputRate) + ": " + reason);
  }
  // The planned sizes; the rest of the input after --blocks is bounded by
  // kMaxBlockBytes, and its output by what memory the converter can get.
  uint32_t largestBlock = options.useBlockList ? 0 : options.blockBytes;
  for (uint32_t size : options.blockList) largestBlock = size > largestBlock ? size : largestBlock;
  uint64_t outputBlock = largestOutputBlock(input, options.outputRate, largestBlock);
  if (outputBlock > kMaxOutputBlockBytes)
    return failWith(kUsageOrIoError, "blocks of " + std::to_string(largestBlock) + " bytes would give output blocks of " +
                                         "up to " + std::to_string(outputBlock) + " bytes at " +
                                         formatText(input, options.outputRate) + " (at most " +
                                         std::to_string(kMaxOutputBlockBytes) + "); use a smaller --block-bytes");
  return kDone;
}

int runRaw(const Options& options) {
  PcmFormat input;
  input.channels = options.channels;
  input.sampleRate = options.inputRate;
  input.bitsPerSample = options.bitsPerSample;
  SampleRateConverter converter;
  int status = configureOrFail(converter, input, options);
  if (status != kDone) return status;
  BlockSource source(stdin, options);
  OutputSink sink;
  sink.stream = stdout;
  ProgressBar silent(stderr, 0);  // raw mode has no known length: never drawn
  status = convertAll(converter, source, sink, silent);
  if (status == kDone && std::fflush(stdout) != 0)
    status = failWith(kUsageOrIoError, "cannot write the output: " + describeWriteError(errno));
  if (options.printInfo) printDesign(converter);
  return status;
}

// "-" names standard input or output (sox's convention).
bool isStandardStream(const std::string& path) { return path == "-"; }

// Writing would truncate the input before it is read.
bool sameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

// A pipe, a socket or a character device (/dev/stdin on a pipe, say) cannot
// seek: it is read front to back.
bool isStream(std::FILE* file) {
  struct stat info;
  return fstat(fileno(file), &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || S_ISCHR(info.st_mode));
}

// Decides on the file it opened, so that what is read is what was looked at.
bool openInput(WavReader& reader, const std::string& path) {
  if (isStandardStream(path)) return reader.openStream(stdin, false);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return reader.open(path.c_str());  // which says why
  return isStream(file) ? reader.openStream(file, true) : reader.openFile(file, true);
}

// Float input beyond +-1.0 is clipped, NaN made silent by the reader: said
// once, at the end.
void reportRepairs(const WavReader& reader, const std::string& path) {
  const std::string repairs = reader.repairsDescription();
  if (!repairs.empty()) std::fprintf(stderr, "srconv: %s: %s\n", path.c_str(), repairs.c_str());
}

// Converts into the writer's file or stream.
int convertInto(WavWriter& writer, WavReader& reader, SampleRateConverter& converter, const Options& options) {
  BlockSource source(reader, options);
  OutputSink sink;
  sink.writer = &writer;
  ProgressBar progress(stderr, reader.lengthKnown() ? reader.dataBytes() : 0);
  int status = convertAll(converter, source, sink, progress);
  if (!writer.close() && status == kDone)
    status = failWith(kUsageOrIoError, options.outputPath + ": " + writer.error());
  return status;
}

WavFormat outputFormatOf(const WavReader& reader, const Options& options) {
  WavFormat format = reader.format();
  format.sampleRate = options.outputRate;
  return format;
}

// The temporary file beside the output is renamed when complete; on standard
// output what is written is gone, and only the exit status tells a failure.
int convertToOutput(WavReader& reader, SampleRateConverter& converter, const Options& options) {
  WavWriter writer;
  if (isStandardStream(options.outputPath)) {
    if (isatty(fileno(stdout)))
      return failWith(kUsageOrIoError, "will not write WAV data to a terminal (redirect or pipe standard output)");
    if (!writer.openStream(stdout, outputFormatOf(reader, options)))
      return failWith(kUsageOrIoError, writer.error());
    return convertInto(writer, reader, converter, options);
  }
  TemporaryOutput output;
  std::string error;
  if (!output.create(options.outputPath, error)) return failWith(kUsageOrIoError, error);
  if (!writer.open(output.path().c_str(), outputFormatOf(reader, options)))
    return failWith(kUsageOrIoError, writer.error());
  int status = convertInto(writer, reader, converter, options);
  if (status == kDone && !output.commit(error)) status = failWith(kUsageOrIoError, error);
  return status;
}

int runWav(const Options& options) {
  const std::string& in = options.inputPath;
  if (!isStandardStream(in) && sameFile(in, options.outputPath))
    return failWith(kUsageOrIoError, "the output would overwrite the input " + in);
  WavReader reader;
  const std::string inputName = isStandardStream(in) ? "standard input" : in;
  if (!openInput(reader, in)) return failWith(kRefused, inputName + ": " + reader.error());
  PcmFormat input;
  input.channels = reader.format().channels;
  input.sampleRate = reader.format().sampleRate;
  input.bitsPerSample = reader.format().bitsPerSample;
  SampleRateConverter converter;
  int status = configureOrFail(converter, input, options);
  if (status != kDone) return status;
  status = convertToOutput(reader, converter, options);
  reportRepairs(reader, inputName);
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
  installInterruptHandlers();
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    return failWith(kOutOfMemory, "out of memory");
  } catch (const std::length_error&) {
    return failWith(kOutOfMemory, "out of memory");
  }
}
