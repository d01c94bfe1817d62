// The converter's output bytes, frozen. The hashes below were taken from the
// plain one-channel-at-a-time converter (split-radix FFT, every sum in its
// defined order); any rearrangement of the work for speed (channels in
// SIMD lanes, precomputed tables, other buffers) must give the very same
// bytes for every rate pair, sample width, channel count and host split.
//
// To re-freeze after a deliberate change of the arithmetic, run with
// RESAMPLE_PRINT_FROZEN=1 and paste the printed table.

#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "converter_probe.h"

namespace {

struct FrozenCase {
  int inRate, outRate, channels, bits;
  bool clippingNoise;  // full-scale random bytes instead of the test tone
  uint64_t hash;       // FNV-1a of the whole output stream
  uint64_t length;     // bytes
};

// clang-format off
const FrozenCase kCases[] = {
{44100, 48000, 2, 16, false, 0x601354cfbea8708full, 217692},
{44100, 48000, 1, 8, false, 0x150f80e5e3975fc4ull, 54423},
{44100, 48000, 3, 24, false, 0xf95981290594f2b9ull, 489807},
{44100, 48000, 2, 16, true, 0xaba4ee45c1eb1720ull, 217692},
{48000, 44100, 2, 16, false, 0xe934c9f96568cd43ull, 183756},
{48000, 44100, 1, 24, false, 0x7e5d99d0fb6ef610ull, 137817},
{48000, 44100, 3, 8, false, 0x35991d6b175fd08full, 137817},
{44100, 22050, 2, 16, false, 0x825fe9b76c90e2a7ull, 100008},
{44100, 22050, 3, 16, false, 0xe020974d6a11f51eull, 150012},
{44100, 22050, 1, 8, false, 0xdefbcc47c9ed25ffull, 25002},
{22050, 44100, 2, 16, false, 0xce08e9bdc2a05898ull, 400008},
{22050, 44100, 1, 24, false, 0x6112d84ee1743a81ull, 300006},
{22050, 44100, 4, 16, false, 0x97b625477f0ab4e6ull, 800016},
{44100, 44100, 2, 16, false, 0x63e31cff2e4ff800ull, 200008},
{44100, 44100, 1, 8, false, 0xda2263a0d0c26618ull, 50002},
{44100, 44100, 3, 24, false, 0xecb514a07a7ce1deull, 450018},
{32000, 44100, 2, 24, false, 0x9d2fde2353347580ull, 413448},
{32000, 44100, 1, 16, false, 0xff6cfa74578b0c46ull, 137816},
{32000, 44100, 3, 16, false, 0x8e8eb2eb1b3fdc49ull, 413448},
{44100, 8000, 2, 16, false, 0x91641da354784691ull, 36288},
{44100, 8000, 1, 8, false, 0xe4fac3b5ed7f8263ull, 9072},
{44100, 8000, 3, 24, false, 0xfcf174244d968ca1ull, 81648},
{96000, 44100, 2, 16, false, 0x74d8ff93edca5f90ull, 91880},
{96000, 44100, 5, 16, false, 0x300e37fc9d39bbaaull, 229700},
{48000, 8000, 2, 16, true, 0x20d33a1e6540dc16ull, 33340},
};
// clang-format on

constexpr int kInputFrames = 50000;

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (uint8_t b : bytes) {
    hash ^= b;
    hash *= 1099511628211ull;
  }
  return hash;
}

// A tone of a different pitch in every channel plus noise, at about
// -5 dBFS peak, so nothing clips; coded at the case's sample width.
std::vector<uint8_t> tonePcm(const FrozenCase& c) {
  const int bytes = c.bits / 8;
  const double fullScale = bytes == 1 ? 127.0 : bytes == 2 ? 32767.0 : 8388607.0;
  std::mt19937 gen(uint32_t(c.inRate + 7 * c.channels + c.bits));
  std::uniform_real_distribution<double> noise(-0.2, 0.2);
  std::vector<uint8_t> pcm;
  pcm.reserve(size_t(kInputFrames) * c.channels * bytes);
  for (int n = 0; n < kInputFrames; ++n) {
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

TEST(FrozenOutput, EveryCaseGivesTheFrozenBytes) {
  const bool print = std::getenv("RESAMPLE_PRINT_FROZEN") != nullptr;
  uint32_t seed = 1;
  for (const FrozenCase& c : kCases) {
    SCOPED_TRACE(describe(c));
    const std::vector<uint8_t> pcm =
        c.clippingNoise ? noiseBytes(size_t(kInputFrames) * c.channels * (c.bits / 8), 99) : tonePcm(c);
    const std::vector<uint8_t> out = convertWithRandomSplits(c, pcm, seed++);
    const int frameBytes = c.channels * (c.bits / 8);
    ASSERT_EQ(int64_t(out.size()), expectedStreamFrames(kInputFrames, c.inRate, c.outRate) * frameBytes);
    if (print) {
      std::printf("{%d, %d, %d, %d, %s, 0x%016" PRIx64 "ull, %zu},\n", c.inRate, c.outRate, c.channels, c.bits,
                  c.clippingNoise ? "true" : "false", fnv1a(out), out.size());
      continue;
    }
    EXPECT_EQ(out.size(), c.length);
    EXPECT_EQ(fnv1a(out), c.hash);
  }
}

}  // namespace
