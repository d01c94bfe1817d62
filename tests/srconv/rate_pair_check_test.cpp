#include "rate_pair_check.h"

#include <gtest/gtest.h>

#include <string>

#include "sample_rate_converter.h"

namespace {

PcmFormat stereo(int rate, int bits = 16) {
  PcmFormat format;
  format.channels = 2;
  format.sampleRate = rate;
  format.bitsPerSample = bits;
  return format;
}

// srconv reports a refused pair with status 2 and a failed configure of an
// accepted pair as lack of memory (status 3), so the two must agree exactly.
TEST(RatePairCheck, AgreesWithConfigureOnEveryPairOfCommonAndOddRates) {
  const int rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 40000, 96000, 37800};
  for (int in : rates) {
    for (int out : rates) {
      std::string reason = refusalReason(stereo(in), out);
      SampleRateConverter converter;
      EXPECT_EQ(converter.configure(stereo(in), out), reason.empty())
          << in << " -> " << out << ": check says '" << reason << "'";
    }
  }
}

// Up-sampling from a few Hz: one input frame would outlast a whole stage
// block, so such ratios are refused, and the check says so.
TEST(RatePairCheck, AgreesWithConfigureOnExtremeUpsamplingRatios) {
  for (int in : {1, 2, 3, 5, 6, 8, 12}) {
    for (int out : {8000, 44100, 96000}) {
      std::string reason = refusalReason(stereo(in), out);
      SampleRateConverter converter;
      EXPECT_EQ(converter.configure(stereo(in), out), reason.empty())
          << in << " -> " << out << ": check says '" << reason << "'";
    }
  }
  EXPECT_NE(refusalReason(stereo(1), 44100).find("up-sampling by more than"), std::string::npos);
}

TEST(RatePairCheck, AcceptsEveryPairOfTheSevenOutputRates) {
  const int rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
  for (int in : rates)
    for (int out : rates) EXPECT_EQ(refusalReason(stereo(in), out), "") << in << " -> " << out;
}

TEST(RatePairCheck, NamesTheReasonForARefusal) {
  EXPECT_NE(refusalReason(stereo(40000), 48000).find("unsupported rate pair 40000 -> 48000 Hz"), std::string::npos);
  EXPECT_NE(refusalReason(stereo(44100, 32), 48000).find("32-bit"), std::string::npos);
  // Stricter than the converter, which would read 12-bit samples as 8-bit.
  EXPECT_NE(refusalReason(stereo(44100, 12), 48000).find("12-bit"), std::string::npos);
  // Coprime rates whose product overflows the design rate.
  EXPECT_NE(refusalReason(stereo(50000), 50001).find("exceed"), std::string::npos);
}

TEST(RatePairCheck, AgreesWithConfigureOnSampleWidths) {
  for (int bits : {8, 16, 24, 32}) {
    SampleRateConverter converter;
    EXPECT_EQ(converter.configure(stereo(44100, bits), 48000), refusalReason(stereo(44100, bits), 48000).empty())
        << bits;
  }
}

}  // namespace
