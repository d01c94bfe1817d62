#include "resample/pcm_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "tests/resample/converter_probe.h"

namespace {

TEST(PcmCodec, DecodeScalesByFullScale) {
  const uint8_t eightBit[] = {0, 128, 255};
  double s[3];
  pcm::decodeSamples(eightBit, 1, 3, s);
  EXPECT_EQ(s[0], -128.0 * (1.0 / 127.0));
  EXPECT_EQ(s[1], 0.0);
  EXPECT_EQ(s[2], 127.0 * 0.007874015748031496);
  const uint8_t sixteenBit[] = {0x00, 0x80, 0xFF, 0x7F, 0xFF, 0xFF};
  pcm::decodeSamples(sixteenBit, 2, 3, s);
  EXPECT_EQ(s[0], -32768.0 * 3.051850947599719e-05);
  EXPECT_EQ(s[1], 32767.0 * 3.051850947599719e-05);
  EXPECT_EQ(s[2], -1.0 * 3.051850947599719e-05);
  const uint8_t twentyFourBit[] = {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00};
  pcm::decodeSamples(twentyFourBit, 3, 3, s);
  EXPECT_EQ(s[0], -8388608.0 * 1.1920930376163766e-07);
  EXPECT_EQ(s[1], 8388607.0 * 1.1920930376163766e-07);
  EXPECT_EQ(s[2], 1.1920930376163766e-07);
}

TEST(PcmCodec, EveryCodeSurvivesDecodeAndEncode) {
  for (int bytesPerSample : {1, 2, 3}) {
    SCOPED_TRACE(bytesPerSample);
    const size_t codes = size_t(1) << (8 * bytesPerSample);
    std::vector<uint8_t> pcm(codes * bytesPerSample);
    for (size_t code = 0; code < codes; ++code) {
      for (int b = 0; b < bytesPerSample; ++b) pcm[code * bytesPerSample + b] = uint8_t(code >> (8 * b));
    }
    std::vector<double> samples(codes);
    pcm::decodeSamples(pcm.data(), bytesPerSample, codes, samples.data());
    std::vector<uint8_t> again(pcm.size());
    pcm::encodeSamples(samples.data(), bytesPerSample, codes, again.data());
    EXPECT_TRUE(again == pcm);
  }
}

TEST(PcmCodec, RoundsHalfAwayFromZero) {
  EXPECT_EQ(pcm::roundAndClip(2.5, 32767), 3);
  EXPECT_EQ(pcm::roundAndClip(-2.5, 32767), -3);
  EXPECT_EQ(pcm::roundAndClip(2.4999999, 32767), 2);
  EXPECT_EQ(pcm::roundAndClip(-0.5, 127), -1);
  EXPECT_EQ(pcm::roundAndClip(0.49, 127), 0);
  EXPECT_EQ(pcm::roundAndClip(-0.49, 127), 0);
}

// The plain definition: round half away from zero with trunc on the sum,
// clip in doubles, NaN to 0. The codec's faster form must agree on every
// value, in particular on sums that round up to the next integer
// (0.49999999999999994 + 0.5 == 1.0) and around the clipping edges.
int32_t plainRoundAndClip(double scaled, int32_t fullScaleCode) {
  double rounded = scaled >= 0.0 ? std::trunc(scaled + 0.5) : std::trunc(scaled - 0.5);
  if (rounded != rounded) return 0;
  const double highest = double(fullScaleCode);
  if (rounded > highest) rounded = highest;
  if (rounded < -highest - 1.0) rounded = -highest - 1.0;
  return int32_t(rounded);
}

TEST(PcmCodec, RoundingAgreesWithThePlainDefinition) {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> wide(-9e6, 9e6), narrow(-3.0, 3.0);
  std::vector<double> values = {0.49999999999999994, -0.49999999999999994, 0.5, -0.5, 1.5, -1.5, 0.0, -0.0,
                                std::nextafter(0.5, 0.0), std::nextafter(-0.5, 0.0), 1e300, -1e300,
                                std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                std::nan("")};
  for (int32_t scale : {127, 32767, 8388607}) {
    for (double edge : {double(scale), -double(scale) - 1.0}) {
      for (double d = -1.0; d <= 1.0; d += 0.25) {
        values.push_back(edge + d);
        values.push_back(std::nextafter(edge + d, 1e300));
        values.push_back(std::nextafter(edge + d, -1e300));
      }
    }
  }
  for (int i = 0; i < 200000; ++i) values.push_back(i % 2 ? wide(gen) : narrow(gen));
  for (int32_t scale : {127, 32767, 8388607}) {
    for (double v : values) ASSERT_EQ(pcm::roundAndClip(v, scale), plainRoundAndClip(v, scale)) << v << " " << scale;
  }
  // The 16-bit encoding of whole blocks, on the same values as samples.
  std::vector<double> samples(values.size());
  for (size_t k = 0; k < values.size(); ++k) samples[k] = values[k] / 32767.0;
  std::vector<uint8_t> bytes(2 * samples.size());
  pcm::encodeSamples(samples.data(), 2, samples.size(), bytes.data());
  for (size_t k = 0; k < samples.size(); ++k) {
    ASSERT_EQ(int16_t(bytes[2 * k] | bytes[2 * k + 1] << 8), plainRoundAndClip(samples[k] * 32767.0, 32767)) << k;
  }
}

TEST(PcmCodec, ClipsAtBothEnds) {
  EXPECT_EQ(pcm::roundAndClip(127.6, 127), 127);
  EXPECT_EQ(pcm::roundAndClip(-128.4, 127), -128);
  EXPECT_EQ(pcm::roundAndClip(-129.0, 127), -128);
  EXPECT_EQ(pcm::roundAndClip(1e300, 8388607), 8388607);
  EXPECT_EQ(pcm::roundAndClip(-1e300, 8388607), -8388608);
  EXPECT_EQ(pcm::roundAndClip(std::nan(""), 32767), 0);

  const double overshoot[] = {1.2, -1.2, 1.0001, -1.00005};
  uint8_t bytes[4 * 3];
  pcm::encodeSamples(overshoot, 1, 4, bytes);
  EXPECT_EQ(bytes[0], 255);
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(bytes[2], 255);
  EXPECT_EQ(bytes[3], 1);  // -127.006 rounds to -127, inside the range
  pcm::encodeSamples(overshoot, 2, 2, bytes);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0x7F);
  EXPECT_EQ(bytes[2], 0x00);
  EXPECT_EQ(bytes[3], 0x80);
  pcm::encodeSamples(overshoot, 3, 2, bytes);
  EXPECT_EQ(bytes[2], 0x7F);
  EXPECT_EQ(bytes[5], 0x80);
  EXPECT_EQ(bytes[3], 0x00);
}

TEST(PcmCodec, SilenceStaysExactThroughTheConverter) {
  struct Case {
    int in, out, bits;
    uint8_t silence;
  };
  for (const Case c : {Case{22050, 44100, 16, 0}, Case{44100, 48000, 8, 128}, Case{48000, 44100, 24, 0},
                       Case{44100, 8000, 8, 128}}) {
    SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.out) + " " + std::to_string(c.bits));
    SampleRateConverter converter;
    ASSERT_TRUE(converter.configure(PcmFormat{2, c.in, c.bits}, c.out));
    const std::vector<uint8_t> pcm(size_t(30000) * 2 * c.bits / 8, c.silence);
    const Converted out = convert(converter, pcm, true);
    ASSERT_FALSE(out.bytes.empty());
    EXPECT_EQ(out.bytes, std::vector<uint8_t>(out.bytes.size(), c.silence));
  }
}

}  // namespace
