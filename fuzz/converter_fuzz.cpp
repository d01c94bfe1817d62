// Fuzz target of the sample-rate converter.
//
// Input layout: byte 0 channels, byte 1 sample width, bytes 2 and 3 the
// input and output rates (indices into kRates), byte 4 the seed of the
// block split, the rest PCM (capped at 2 KiB).
//
// The converter runs scaled down, so that one case costs well under a
// millisecond under the sanitizers and the block and stream handling meets
// many stage-block boundaries per case: the rates are those of real use
// divided by 25 (every ratio, reduced factor and oversampling factor stays
// the same), and the FFT filter's length search starts at 63 taps instead
// of 16383, so stage blocks hold tens to thousands of frames instead of
// 16384 or more. Converters of one rate pair share their filters; the
// target holds those of every pair it meets, so each pair is designed once
// per run. The product's sizes are covered by the converter's tests.
//
// Properties: a configuration the converter cannot take is refused by
// configure() and then converts nothing; an accepted one produces exactly
// floor(framesIn * out / in) + 2 frames however the input is split into
// blocks (partial frames and empty blocks included), in whole frames, and
// nothing after the end of the stream.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "tests/resample/converter_probe.h"
#include "resample/sample_rate_converter.h"

namespace {

// Common rates (8000, 11025, 16000, 22050, 32000, 44100, 48000, 7350,
// 24000, 96000 and 6000 Hz, divided by 25), one that most pairs refuse
// (3 * 823), one next to 44100 / 25 whose pairs need huge polyphase tables,
// and degenerate ones (0, 1, negative).
constexpr int kRates[] = {320,  441, 640, 882, 1280, 1764, 1920, 294,
                          2469, 960, 3840, 240, 1,  0,    -320, 1765};
constexpr int kRateCount = sizeof kRates / sizeof kRates[0];

// Widths: the three supported, then refused ones.
constexpr int kWidths[] = {8, 16, 24, 16, 0, 7, 12, 32};

constexpr size_t kHeaderBytes = 5;
constexpr size_t kMaxPcmBytes = 2048;
constexpr int kFftBaseLength = 64;

[[noreturn]] void fail(const char* what, unsigned long long got, unsigned long long expected) {
  std::fprintf(stderr, "converter property broken: %s (got %llu, expected %llu)\n", what, got, expected);
  std::abort();
}

bool supported(int channels, int bits, int inRate, int outRate) {
  return channels > 0 && (bits == 8 || bits == 16 || bits == 24) && inRate > 0 && outRate > 0;
}

// The filters of every accepted rate pair (indices into kRates), held for
// the whole run.
std::shared_ptr<const void> heldFilters[kRateCount][kRateCount];

// A small deterministic generator for the block split.
struct Lcg {
  uint32_t state;
  uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeaderBytes) return 0;
  PcmFormat format;
  format.channels = data[0] % 5;  // 0 must be refused
  format.bitsPerSample = kWidths[data[1] % 8];
  const int inIndex = data[2] % kRateCount;
  const int outIndex = data[3] % kRateCount;
  format.sampleRate = kRates[inIndex];
  const int outRate = kRates[outIndex];
  Lcg split{data[4] * 2654435761u};
  const uint8_t* pcm = data + kHeaderBytes;
  const size_t pcmBytes = size - kHeaderBytes < kMaxPcmBytes ? size - kHeaderBytes : kMaxPcmBytes;

  SampleRateConverter converter;
  ConverterTuning::useFftBaseLength(converter, kFftBaseLength);
  const bool accepted = converter.configure(format, outRate);
  if (!supported(format.channels, format.bitsPerSample, format.sampleRate, outRate) && accepted) {
    fail("configure accepted an unsupported format", 1, 0);
  }
  if (!accepted) {
    // A refused converter takes nothing and makes nothing.
    uint32_t count = uint32_t(pcmBytes);
    uint8_t* out = reinterpret_cast<uint8_t*>(1);
    converter.convertBlock(pcm, count, true, out);
    if (out != nullptr || count != 0) fail("a refused converter produced output", count, 0);
    return 0;
  }
  if (!heldFilters[inIndex][outIndex]) heldFilters[inIndex][outIndex] = ConverterTuning::filters(converter);

  const uint64_t frameBytes = uint64_t(format.channels) * (format.bitsPerSample / 8);
  uint64_t outBytes = 0;
  size_t offset = 0;
  bool ended = false;
  while (!ended) {
    // Blocks of 0 .. 767 bytes, any byte count (partial frames carry over).
    size_t block = split.next() % 768;
    if (split.next() % 8 == 0) block = 0;
    if (block > pcmBytes - offset) block = pcmBytes - offset;
    ended = offset + block == pcmBytes && split.next() % 4 != 0;
    uint32_t count = uint32_t(block);
    uint8_t* out = nullptr;
    if (!converter.convertBlock(pcm + offset, count, ended, out)) fail("convertBlock ran out of memory", 0, 1);
    if ((out == nullptr) != (count == 0)) fail("output pointer and byte count disagree", count, 0);
    if (count % frameBytes != 0) fail("output is not whole frames", count, frameBytes);
    outBytes += count;
    delete[] out;
    offset += block;
  }

  const uint64_t framesIn = pcmBytes / frameBytes;
  const uint64_t expected = framesIn * uint64_t(outRate) / uint64_t(format.sampleRate) + 2;
  if (converter.framesIn() != framesIn) fail("frames counted in", converter.framesIn(), framesIn);
  if (converter.framesOut() != expected) fail("frames counted out", converter.framesOut(), expected);
  if (outBytes != expected * frameBytes) fail("bytes emitted", outBytes, expected * frameBytes);

  // After the end nothing more comes out.
  uint32_t count = uint32_t(pcmBytes);
  uint8_t* out = nullptr;
  converter.convertBlock(pcm, count, true, out);
  if (out != nullptr || count != 0) fail("output after the end of the stream", count, 0);
  return 0;
}
