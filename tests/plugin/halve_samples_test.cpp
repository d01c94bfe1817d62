#include "plugin/halve_samples.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> le16(std::initializer_list<int> samples) {
  std::vector<uint8_t> bytes;
  for (int s : samples) {
    bytes.push_back(uint8_t(s & 0xFF));
    bytes.push_back(uint8_t((s >> 8) & 0xFF));
  }
  return bytes;
}

std::vector<uint8_t> le24(std::initializer_list<int> samples) {
  std::vector<uint8_t> bytes;
  for (int s : samples) {
    bytes.push_back(uint8_t(s & 0xFF));
    bytes.push_back(uint8_t((s >> 8) & 0xFF));
    bytes.push_back(uint8_t((s >> 16) & 0xFF));
  }
  return bytes;
}

TEST(HalveSamples, EightBitHalvesTheDistanceFromTheZeroLevel) {
  std::vector<uint8_t> bytes = {0, 1, 127, 128, 129, 130, 254, 255};
  halveSamples(bytes.data(), uint32_t(bytes.size()), 8);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{64, 65, 128, 128, 128, 129, 191, 191}));
}

TEST(HalveSamples, SixteenBitTruncatesTowardZeroAtBothEndsOfTheRange) {
  std::vector<uint8_t> bytes = le16({-32768, 32767, -3, 3, -1, 1, 0, 1000});
  halveSamples(bytes.data(), uint32_t(bytes.size()), 16);
  EXPECT_EQ(bytes, le16({-16384, 16383, -1, 1, 0, 0, 0, 500}));
}

TEST(HalveSamples, TwentyFourBitTruncatesTowardZeroAndKeepsTheSign) {
  std::vector<uint8_t> bytes = le24({-8388608, 8388607, -3, 3, -1, 0x12345, -0x12345});
  halveSamples(bytes.data(), uint32_t(bytes.size()), 24);
  EXPECT_EQ(bytes, le24({-4194304, 4194303, -1, 1, 0, 0x91A2, -0x91A2}));
}

TEST(HalveSamples, LeavesAPartialTrailingSampleAndOtherWidthsAlone) {
  std::vector<uint8_t> sixteen = {0x00, 0x80, 0x7F};  // one sample and a stray byte
  halveSamples(sixteen.data(), 3, 16);
  EXPECT_EQ(sixteen, (std::vector<uint8_t>{0x00, 0xC0, 0x7F}));

  std::vector<uint8_t> twentyFour = {0x00, 0x00, 0x80, 0xFF, 0x7F};
  halveSamples(twentyFour.data(), 5, 24);
  EXPECT_EQ(twentyFour, (std::vector<uint8_t>{0x00, 0x00, 0xC0, 0xFF, 0x7F}));

  std::vector<uint8_t> thirtyTwo = {1, 2, 3, 4};
  halveSamples(thirtyTwo.data(), 4, 32);
  EXPECT_EQ(thirtyTwo, (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(HalveSamples, EmptyBufferIsANoOp) {
  halveSamples(nullptr, 0, 16);
  halveSamples(nullptr, 0, 8);
}

}  // namespace
