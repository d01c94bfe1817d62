#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numeric>
#include <random>

#include "tests/resample/converter_probe.h"

namespace {

const int kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};

struct DesignRow {
  int in, out;
  bool up;
  int q, fftRate, polyphaseRate, fftTaps, polyphaseTaps, tapsPerPhase, phases, fftLength, outputDelay;
};

// The designs the rules give for the common rates.
const DesignRow kDesignTable[] = {
    {44100, 22050, false, 1, 44100, 44100, 16383, 1, 1, 1, 32768, 4096},
    {44100, 8000, false, 2, 88200, 3528000, 16383, 1807, 46, 40, 32768, 745},
    {48000, 44100, false, 3, 144000, 7056000, 16383, 1659, 34, 49, 32768, 2513},
    {44100, 44100, false, 1, 44100, 44100, 16383, 1, 1, 1, 32768, 8192},
    {22050, 44100, true, 1, 44100, 44100, 16383, 47, 24, 2, 32768, 8191},
    {44100, 48000, true, 3, 144000, 7056000, 16383, 1595, 10, 160, 32768, 2730},
    {32000, 44100, true, 2, 88200, 14112000, 16383, 5669, 13, 441, 32768, 4095},
    {96000, 44100, false, 3, 288000, 14112000, 32767, 1659, 34, 49, 65536, 2511},
    {48000, 32000, false, 2, 96000, 96000, 16383, 47, 48, 1, 32768, 2738},  // one phase of 48 taps
};

TEST(ConverterSetup, DesignTableForCommonRates) {
  for (const DesignRow& row : kDesignTable) {
    SCOPED_TRACE(std::to_string(row.in) + " -> " + std::to_string(row.out));
    SampleRateConverter converter;
    ASSERT_TRUE(converter.configure(PcmFormat{2, row.in, 16}, row.out));
    const ConverterDesign d = converter.design();
    EXPECT_EQ(d.upsampling, row.up);
    EXPECT_EQ(d.oversampling, row.q);
    EXPECT_EQ(d.fftRate, row.fftRate);
    EXPECT_EQ(d.polyphaseRate, row.polyphaseRate);
    EXPECT_EQ(d.fftTaps, row.fftTaps);
    EXPECT_EQ(d.polyphaseTaps, row.polyphaseTaps);
    EXPECT_EQ(d.tapsPerPhase, row.tapsPerPhase);
    EXPECT_EQ(d.phases, row.phases);
    EXPECT_EQ(d.fftLength, row.fftLength);
    EXPECT_EQ(d.outputDelay, row.outputDelay);
  }
}

TEST(ConverterSetup, EveryPairOfSupportedRatesConfigures) {
  for (int in : kRates) {
    for (int out : kRates) {
      SCOPED_TRACE(std::to_string(in) + " -> " + std::to_string(out));
      SampleRateConverter converter;
      ASSERT_TRUE(converter.configure(PcmFormat{1, in, 16}, out));
      const ConverterDesign d = converter.design();
      EXPECT_EQ(d.upsampling, in < out);
      EXPECT_GE(d.oversampling, 1);
      EXPECT_LE(d.oversampling, 3);
      EXPECT_EQ(d.fftTaps % 2, 1);
      EXPECT_EQ(d.polyphaseTaps % 2, 1);
      EXPECT_EQ(d.fftLength, 32768);
    }
  }
}

TEST(ConverterSetup, RefusesRatioWithoutOversamplingFactor) {
  SampleRateConverter converter;
  EXPECT_FALSE(converter.configure(PcmFormat{2, 40000, 16}, 48000));  // reduced factor 5
  uint32_t count = 0;
  uint8_t* out = nullptr;
  EXPECT_TRUE(converter.convertBlock(nullptr, count, true,
                                     out));  // unconfigured: nothing
  EXPECT_EQ(out, nullptr);
}

TEST(ConverterSetup, RefusesUnsupportedFormats) {
  struct Case {
    PcmFormat format;
    int outputRate;
  };
  const Case cases[] = {
      {{0, 44100, 16}, 22050},
      {{-2, 44100, 16}, 22050},
      {{2, 44100, 32}, 22050},
      {{2, 44100, 12}, 22050},
      {{2, 44100, 0}, 22050},
      {{2, 44100, 20}, 22050},
      {{2, 0, 16}, 22050},
      {{2, -44100, 16}, 22050},
      {{2, 44100, 16}, 0},
      {{2, 44100, 16}, -8000},
      {{INT_MAX, 44100, 16}, 22050},
      {{1 << 20, 44100, 16}, 22050},
      {{2, 2000000000, 16}, 1999999998},  // q = 3: input rate * 3 beyond 32 bits
      {{2, 2000000000, 16}, 1000},        // buffer for in/out frames beyond 32 bits
      {{2, 1, 16}, 2000000000},           // the polyphase grid beyond 32 bits
      {{1, 50, 16}, 409600},              // the long filter's transition band wider than the input's band
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.format.channels) + " ch " + std::to_string(c.format.sampleRate) + " Hz " +
                 std::to_string(c.format.bitsPerSample) + " bit -> " + std::to_string(c.outputRate));
    SampleRateConverter converter;
    EXPECT_FALSE(converter.configure(c.format, c.outputRate));
    // Each refusal says why, and none of these is blamed on memory.
    ASSERT_NE(converter.refusalReason(), nullptr);
    EXPECT_NE(converter.refusalReason(), SampleRateConverter::kOutOfMemoryReason);
  }
}

TEST(ConverterSetup, AcceptsEightAndTwentyFourBits) {
  for (int bits : {8, 24}) {
    SampleRateConverter converter;
    EXPECT_TRUE(converter.configure(PcmFormat{6, 48000, bits}, 44100)) << bits;
  }
}

TEST(ConverterSetup, SecondConfigureIsRefused) {
  SampleRateConverter converter;
  ASSERT_TRUE(converter.configure(PcmFormat{2, 44100, 16}, 22050));
  EXPECT_EQ(converter.refusalReason(), nullptr);
  EXPECT_FALSE(converter.configure(PcmFormat{2, 44100, 16}, 48000));
  EXPECT_NE(converter.refusalReason(), nullptr);
  EXPECT_EQ(converter.design().fftRate, 44100);  // the first design stays
}

// A rate from 1 Hz to the largest: a common one or a multiple, a very low
// one, one near the up-sampling limit from `other` for each oversampling
// factor, or any at all.
int randomRate(std::mt19937& random, int other) {
  const int kind = int(random() % 4);
  if (kind == 0) return kRates[random() % 7] * int(1 + random() % 4);
  if (kind == 1) return int(1 + random() % 2000);
  if (kind == 2 && other <= INT_MAX / (kMaxUpsamplingRatio + 12))
    return int(other * int64_t(kMaxUpsamplingRatio - 12 + random() % 24) / int64_t(1 + random() % 3));
  return int(std::exp(std::uniform_real_distribution<double>(0.0, std::log(double(INT_MAX)))(random)));
}

// What every converter needs, stated apart from the code: one channel or
// more, 8-, 16- or 24-bit samples, rates of 1 Hz or more, and the lower rate
// divided by the greatest common divisor of the two 1 or divisible by 2 or 3.
bool meetsBasicRules(const PcmFormat& input, int out) {
  const int in = input.sampleRate;
  const int bits = input.bitsPerSample;
  if (input.channels < 1 || in < 1 || out < 1 || (bits != 8 && bits != 16 && bits != 24)) return false;
  const int reduced = std::min(in, out) / std::gcd(in, out);
  return reduced == 1 || reduced % 2 == 0 || reduced % 3 == 0;
}

bool isCommonRateOrMultiple(int rate) {
  for (int common : kRates) {
    if (rate % common == 0 && rate / common <= 4) return true;
  }
  return false;
}

// Up to 8 channels at common rates or their multiples, or at 1000 to 192000
// Hz in a ratio of two numbers up to 12: always taken (basic rules allowing).
bool isOrdinary(const PcmFormat& input, int out) {
  const int in = input.sampleRate;
  const int divisor = std::gcd(in, out);
  const bool common = isCommonRateOrMultiple(in) && isCommonRateOrMultiple(out);
  const bool simple = std::min(in, out) >= 1000 && std::max(in, out) <= 192000 && in / divisor <= 12 &&
                      out / divisor <= 12;
  return meetsBasicRules(input, out) && input.channels <= 8 && (common || simple);
}

// The cheap check gives configure's answer and reason (short of memory) for
// any format and rate pair, past every limit too; what breaks a basic rule
// is refused, what is ordinary is taken, and what is taken converts a stream
// to its full length.
TEST(ConverterSetup, RefusalCheckAnswersAsConfigureDoes) {
  std::mt19937 random(7);
  const int widths[] = {8, 16, 24, 8, 16, 24, 12, 0};
  const int channelCounts[] = {1, 2, 6, 1, 2, 1 << 12, 1 << 20, 0};
  int converted = 0;
  for (int i = 0; i < 300; ++i) {
    int in = randomRate(random, kRates[random() % 7]);
    int out = i % 3 == 1 ? kRates[random() % 7] * int(1 + random() % 4) : randomRate(random, in);
    if (i % 3 == 0) {  // a ratio of two numbers up to 12
      const int base = 1000 + int(random() % 3000);
      in = base * int(1 + random() % 12);
      out = base * int(1 + random() % 12);
    }
    const PcmFormat format{channelCounts[random() % 8], in, widths[random() % 8]};
    SCOPED_TRACE(std::to_string(format.channels) + " ch " + std::to_string(format.sampleRate) + " Hz " +
                 std::to_string(format.bitsPerSample) + " bit -> " + std::to_string(out));
    const char* answer = SampleRateConverter::refusalFor(format, out);
    SampleRateConverter converter;
    const bool configured = converter.configure(format, out);
    if (converter.refusalReason() == SampleRateConverter::kOutOfMemoryReason) continue;
    EXPECT_EQ(answer == nullptr, configured);
    if (!configured) {
      EXPECT_STREQ(answer, converter.refusalReason());
    }
    EXPECT_TRUE(meetsBasicRules(format, out) || !configured);
    EXPECT_TRUE(configured || !isOrdinary(format, out));
    // What is taken passes at least half of the lower rate's band.
    if (configured) EXPECT_GT(converter.design().fftCutoffHz, std::min(in, out) / 4.0);
    if (!configured || format.channels > 8 || converter.design().fftLength > 65536) continue;
    const uint32_t frames = 1 + random() % 3000;
    const int frameBytes = format.channels * format.bitsPerSample / 8;
    const Converted result = convert(converter, noiseBytes(frames * frameBytes, i), true);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(int64_t(result.bytes.size()), expectedStreamFrames(frames, in, out) * frameBytes);
    ++converted;
  }
  EXPECT_GT(converted, 30);  // the conversions above are not left to chance
}

}  // namespace
