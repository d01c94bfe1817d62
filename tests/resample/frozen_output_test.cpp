// The converter's output, frozen as reference streams (reference_streams/,
// made by the converter that used a natural-order split-radix FFT and took
// every sum in its defined order). A faster arrangement of the arithmetic
// may round differently, but every stream, for every rate pair, sample
// width, channel count and host split, must stay within 1 LSB of its
// reference, with at most one sample in 10,000 differing at all.
//
// To re-freeze after a deliberate change of the output, run with
// RESAMPLE_WRITE_REFERENCE=1: the streams are written instead of compared.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include <xmmintrin.h>

#include "tests/resample/converter_probe.h"

namespace {

struct FrozenCase {
  int inRate, outRate, channels, bits;
  bool clippingNoise;  // full-scale random bytes instead of the test tone
};

// clang-format off
const FrozenCase kCases[] = {
{44100, 48000, 2, 16, false},
{44100, 48000, 1, 8, false},
{44100, 48000, 3, 24, false},
{44100, 48000, 2, 16, true},
{48000, 44100, 2, 16, false},
{48000, 44100, 1, 24, false},
{48000, 44100, 3, 8, false},
{44100, 22050, 2, 16, false},
{44100, 22050, 3, 16, false},
{44100, 22050, 1, 8, false},
{22050, 44100, 2, 16, false},
{22050, 44100, 1, 24, false},
{22050, 44100, 4, 16, false},
{44100, 44100, 2, 16, false},
{44100, 44100, 1, 8, false},
{44100, 44100, 3, 24, false},
{32000, 44100, 2, 24, false},
{32000, 44100, 1, 16, false},
{32000, 44100, 3, 16, false},
{44100, 8000, 2, 16, false},
{44100, 8000, 1, 8, false},
{44100, 8000, 3, 24, false},
{96000, 44100, 2, 16, false},
{96000, 44100, 5, 16, false},
{48000, 8000, 2, 16, true},
};
// clang-format on

// Input long enough for two and a half FFT blocks (the state carried
// from block to block is what can go wrong), at most 40000 frames: the
// reference files stay small.
int inputFrames(const FrozenCase& c) {
  SampleRateConverter probe;
  if (!probe.configure(PcmFormat{c.channels, c.inRate, c.bits}, c.outRate)) return 0;
  const ConverterDesign d = probe.design();
  const double hop = d.fftLength / 2;
  const double framesPerBlock =
      d.upsampling ? hop * c.inRate / (double(d.oversampling) * c.outRate) : hop / d.oversampling;
  return std::min(40000, int(2.5 * framesPerBlock));
}

// A tone of a different pitch in every channel plus noise, at about
// -5 dBFS peak, so nothing clips; coded at the case's sample width.
std::vector<uint8_t> tonePcm(const FrozenCase& c, int frames) {
  const int bytes = c.bits / 8;
  const double fullScale = bytes == 1 ? 127.0 : bytes == 2 ? 32767.0 : 8388607.0;
  std::mt19937 gen(uint32_t(c.inRate + 7 * c.channels + c.bits));
  std::uniform_real_distribution<double> noise(-0.2, 0.2);
  std::vector<uint8_t> pcm;
  pcm.reserve(size_t(frames) * c.channels * bytes);
  for (int n = 0; n < frames; ++n) {
    for (int ch = 0; ch < c.channels; ++ch) {
      const double f = 440.0 * (ch + 1) + 0.05 * n;  // a slow sweep
      const double v = 0.35 * std::sin(2.0 * M_PI * f * n / c.inRate + ch) + noise(gen);
      const int32_t code = int32_t(std::lround(v * fullScale));
      if (bytes == 1) {
        pcm.push_back(uint8_t(code + 128));
      } else {
        for (int b = 0; b < bytes; ++b) pcm.push_back(uint8_t((uint32_t(code) >> (8 * b)) & 0xFF));
      }
    }
  }
  return pcm;
}

std::vector<uint8_t> convertWithRandomSplits(const FrozenCase& c, const std::vector<uint8_t>& pcm, uint32_t seed) {
  SampleRateConverter converter;
  EXPECT_TRUE(converter.configure(PcmFormat{c.channels, c.inRate, c.bits}, c.outRate));
  std::mt19937 gen(seed);
  std::uniform_int_distribution<size_t> piece(0, size_t(3 * 16384) * c.channels * (c.bits / 8));
  std::vector<uint8_t> output;
  for (size_t offset = 0; offset < pcm.size();) {
    const size_t count = std::min(piece(gen), pcm.size() - offset);
    const bool last = offset + count == pcm.size();
    const Converted part = convert(converter, pcm.data() + offset, uint32_t(count), last);
    EXPECT_TRUE(part.ok);
    output.insert(output.end(), part.bytes.begin(), part.bytes.end());
    offset += count;
  }
  return output;
}

std::string describe(const FrozenCase& c) {
  return std::to_string(c.inRate) + " -> " + std::to_string(c.outRate) + ", " + std::to_string(c.channels) +
         " ch, " + std::to_string(c.bits) + " bit" + (c.clippingNoise ? ", clipping noise" : "");
}

std::string referencePath(const FrozenCase& c) {
  return std::string(RESAMPLE_REFERENCE_DIR) + "/" + std::to_string(c.inRate) + "-" + std::to_string(c.outRate) + "-" +
         std::to_string(c.channels) + "ch-" + std::to_string(c.bits) + "bit" + (c.clippingNoise ? "-noise" : "") +
         ".pcm";
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(f);
  }
  return bytes;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

// Sample i of a little-endian PCM stream (8-bit unsigned, wider signed).
int32_t sampleAt(const std::vector<uint8_t>& pcm, int bits, size_t i) {
  const int bytes = bits / 8;
  if (bytes == 1) return int32_t(pcm[i]) - 128;
  uint32_t code = 0;
  for (int b = 0; b < bytes; ++b) code |= uint32_t(pcm[i * bytes + b]) << (8 * b);
  const int shift = 32 - bits;
  return int32_t(code << shift) >> shift;
}

TEST(FrozenOutput, EveryStreamStaysWithinOneLsbOfItsReference) {
  const bool write = std::getenv("RESAMPLE_WRITE_REFERENCE") != nullptr;
  uint32_t seed = 1;
  for (const FrozenCase& c : kCases) {
    SCOPED_TRACE(describe(c));
    const int frames = inputFrames(c);
    const std::vector<uint8_t> pcm =
        c.clippingNoise ? noiseBytes(size_t(frames) * c.channels * (c.bits / 8), 99) : tonePcm(c, frames);
    const std::vector<uint8_t> out = convertWithRandomSplits(c, pcm, seed++);
    const int frameBytes = c.channels * (c.bits / 8);
    ASSERT_EQ(int64_t(out.size()), expectedStreamFrames(frames, c.inRate, c.outRate) * frameBytes);
    if (write) {
      EXPECT_TRUE(writeFile(referencePath(c), out));
      continue;
    }
    const std::vector<uint8_t> reference = readFile(referencePath(c));
    ASSERT_EQ(out.size(), reference.size());
    const size_t samples = out.size() / (c.bits / 8);
    size_t differing = 0;
    int32_t worst = 0;
    for (size_t i = 0; i < samples; ++i) {
      const int32_t difference = std::abs(sampleAt(out, c.bits, i) - sampleAt(reference, c.bits, i));
      differing += difference != 0 ? 1 : 0;
      worst = std::max(worst, difference);
    }
    EXPECT_LE(worst, 1);
    EXPECT_LE(differing * 10000, samples) << differing << " of " << samples << " samples differ";
  }
}

// A conversion leaves the caller's floating-point control as it found it
// (the host's rounding and denormal settings are its own), on every path:
// the wide kernels reset the vector state on return by reloading MXCSR.
TEST(FrozenOutput, ConversionLeavesTheFloatingPointControlAlone) {
  const unsigned exceptionFlags = 0x3F;  // set by arithmetic itself
  const unsigned flushAndDenormalsAreZero = 0x8040;
  const unsigned before = _mm_getcsr();
  const unsigned hostControl = (before & ~exceptionFlags) | flushAndDenormalsAreZero;
  for (const FrozenCase c : {FrozenCase{22050, 44100, 2, 16, false}, FrozenCase{48000, 44100, 3, 24, false}}) {
    SCOPED_TRACE(describe(c));
    _mm_setcsr(hostControl);
    convertWithRandomSplits(c, tonePcm(c, inputFrames(c)), 5);
    const unsigned after = _mm_getcsr();
    _mm_setcsr(before);
    EXPECT_EQ(after & ~exceptionFlags, hostControl & ~exceptionFlags);
  }
}

}  // namespace
