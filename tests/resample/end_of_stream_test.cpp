// The stream's length and its independence from how the host cuts it.

#include <gtest/gtest.h>

#include <random>

#include "tests/resample/converter_probe.h"

namespace {

struct RatePair {
  int in, out;
};

std::vector<uint8_t> convertInPieces(const RatePair& pair, int channels, int bits, const std::vector<uint8_t>& pcm,
                                     const std::vector<size_t>& pieceSizes, bool emptyEndCall) {
  SampleRateConverter converter;
  EXPECT_TRUE(converter.configure(PcmFormat{channels, pair.in, bits}, pair.out));
  std::vector<uint8_t> output;
  size_t offset = 0;
  for (size_t i = 0; i < pieceSizes.size(); ++i) {
    const bool last = !emptyEndCall && i + 1 == pieceSizes.size();
    const Converted part = convert(converter, pcm.data() + offset, uint32_t(pieceSizes[i]), last);
    EXPECT_TRUE(part.ok);
    output.insert(output.end(), part.bytes.begin(), part.bytes.end());
    offset += pieceSizes[i];
  }
  if (emptyEndCall) {
    const Converted tail = convert(converter, nullptr, 0, true);
    output.insert(output.end(), tail.bytes.begin(), tail.bytes.end());
  }
  return output;
}

std::vector<size_t> randomPieces(size_t total, size_t largest, std::mt19937& gen) {
  std::uniform_int_distribution<size_t> size(0, largest);
  std::vector<size_t> pieces;
  for (size_t used = 0; used < total;) {
    const size_t piece = std::min(size(gen), total - used);
    pieces.push_back(piece);
    used += piece;
  }
  return pieces;
}

TEST(EndOfStream, TotalLengthIsExactForAnyInputLength) {
  const RatePair pairs[] = {{44100, 22050}, {22050, 44100}, {48000, 44100}, {44100, 48000}, {44100, 44100},
                            {8000, 48000},  {48000, 8000},  {11025, 32000}, {32000, 11025}};
  std::mt19937 gen(2024);
  std::uniform_int_distribution<int> length(0, 40000);
  for (const RatePair& pair : pairs) {
    for (int trial = 0; trial < 3; ++trial) {
      const int frames = trial == 0 ? int(gen() % 50) : length(gen);
      SCOPED_TRACE(std::to_string(pair.in) + " -> " + std::to_string(pair.out) + ", " + std::to_string(frames) +
                   " frames");
      SampleRateConverter converter;
      ASSERT_TRUE(converter.configure(PcmFormat{1, pair.in, 16}, pair.out));
      const std::vector<uint8_t> pcm = noiseBytes(size_t(frames) * 2, uint32_t(frames));
      const Converted out = convert(converter, pcm, true);
      ASSERT_TRUE(out.ok);
      EXPECT_EQ(converter.framesIn(), uint64_t(frames));
      EXPECT_EQ(int64_t(out.bytes.size() / 2), expectedStreamFrames(uint64_t(frames), pair.in, pair.out));
      EXPECT_EQ(converter.framesOut(), out.bytes.size() / 2);
    }
  }
}

TEST(EndOfStream, EmptyEndCallStillCompletesTheStream) {
  for (const RatePair pair : {RatePair{44100, 22050}, RatePair{16000, 44100}}) {
    const int frames = 20000;
    const std::vector<uint8_t> pcm = noiseBytes(size_t(frames) * 4, 5);
    const std::vector<uint8_t> output = convertInPieces(pair, 2, 16, pcm, {pcm.size()}, true);
    EXPECT_EQ(int64_t(output.size() / 4), expectedStreamFrames(frames, pair.in, pair.out));
    EXPECT_EQ(output, convertInPieces(pair, 2, 16, pcm, {pcm.size()}, false));
  }
}

// Without the end flag the converter keeps pace with the host: it holds
// back less than half an FFT block of input, and its output never runs
// ahead of the input nor trails it by half a block or more.
TEST(EndOfStream, OutputKeepsPaceWithInput) {
  const RatePair pairs[] = {{44100, 22050}, {22050, 44100}, {48000, 44100}, {44100, 48000},
                            {44100, 44100}, {8000, 48000},  {96000, 44100}};
  std::mt19937 gen(5);
  for (const RatePair& pair : pairs) {
    SCOPED_TRACE(std::to_string(pair.in) + " -> " + std::to_string(pair.out));
    SampleRateConverter converter;
    ASSERT_TRUE(converter.configure(PcmFormat{2, pair.in, 16}, pair.out));
    const double block = converter.design().fftLength;
    const double hop = block / 2;
    const std::vector<uint8_t> pcm = noiseBytes(size_t(5 * block) * 4, 21);
    uint64_t fed = 0;
    for (size_t piece : randomPieces(pcm.size(), size_t(block), gen)) {
      convert(converter, pcm.data() + fed, uint32_t(piece), false);
      fed += piece;
      const double exactOut = double(converter.framesIn()) * pair.out / pair.in;
      EXPECT_LT(double(fed / 4 - converter.framesIn()), hop);
      EXPECT_LE(double(converter.framesOut()), exactOut);
      EXPECT_LT(exactOut - double(converter.framesOut()), hop);
    }
  }
}

TEST(EndOfStream, StreamWithoutInputIsTwoSilentFrames) {
  SampleRateConverter converter;
  ASSERT_TRUE(converter.configure(PcmFormat{2, 44100, 16}, 22050));
  const Converted out = convert(converter, nullptr, 0, true);
  ASSERT_TRUE(out.ok);
  EXPECT_EQ(out.bytes, std::vector<uint8_t>(8, 0));
}

TEST(EndOfStream, FinishedStreamReturnsNothingMore) {
  SampleRateConverter converter;
  ASSERT_TRUE(converter.configure(PcmFormat{2, 48000, 16}, 44100));
  const std::vector<uint8_t> pcm = noiseBytes(4000, 8);
  ASSERT_FALSE(convert(converter, pcm, true).bytes.empty());
  const uint64_t framesOut = converter.framesOut();
  for (bool end : {true, false}) {
    const Converted again = convert(converter, pcm, end);
    EXPECT_TRUE(again.ok);
    EXPECT_TRUE(again.bytes.empty());
  }
  EXPECT_EQ(converter.framesOut(), framesOut);
}

TEST(EndOfStream, PartialFrameStaysPendingAndIsNotConverted) {
  SampleRateConverter converter;
  ASSERT_TRUE(converter.configure(PcmFormat{2, 44100, 16}, 22050));
  const std::vector<uint8_t> pcm = noiseBytes(10, 4);  // two frames and a half
  const Converted out = convert(converter, pcm, true);
  EXPECT_EQ(converter.framesIn(), 2u);
  EXPECT_EQ(out.bytes.size(), size_t(floor(2 * 0.5) + 2) * 4);
}

// The last input frame is not lost: an impulse there comes out, near the
// end of the stream, at the gain of the filters.
TEST(EndOfStream, ImpulseInLastFrameReachesTheOutput) {
  for (const RatePair pair : {RatePair{44100, 44100}, RatePair{22050, 44100}, RatePair{48000, 44100}}) {
    SCOPED_TRACE(std::to_string(pair.in) + " -> " + std::to_string(pair.out));
    const int frames = 30001;
    std::vector<uint8_t> pcm(size_t(frames) * 3, 0);
    const int32_t peak = 4000000;
    pcm[pcm.size() - 3] = uint8_t(peak & 0xFF);
    pcm[pcm.size() - 2] = uint8_t((peak >> 8) & 0xFF);
    pcm[pcm.size() - 1] = uint8_t((peak >> 16) & 0xFF);
    SampleRateConverter converter;
    ASSERT_TRUE(converter.configure(PcmFormat{1, pair.in, 24}, pair.out));
    const Converted out = convert(converter, pcm, true);
    const size_t outFrames = out.bytes.size() / 3;
    ASSERT_EQ(int64_t(outFrames), expectedStreamFrames(frames, pair.in, pair.out));
    // Sum of the output around the impulse's place: the low-pass keeps the
    // impulse's area (scaled by out/in), so the tail must carry it.
    double area = 0.0;
    for (size_t i = outFrames - 20; i < outFrames; ++i) {
      const uint8_t* p = out.bytes.data() + 3 * i;
      area += double(int32_t(p[0]) | (int32_t(p[1]) << 8) | (int32_t(int8_t(p[2])) * 65536));
    }
    EXPECT_GT(area, 0.5 * peak * pair.out / pair.in);
  }
}

// A stream longer than 2^32 frames (27 hours at 44100 Hz) still ends at its
// exact length: the input counter passes 2^32 while the output counter,
// trailing it by the filter delay, has not yet.
TEST(EndOfStream, FrameCountersDoNotWrapAt32Bits) {
  SampleRateConverter converter;
  ASSERT_TRUE(converter.configure(PcmFormat{1, 44100, 16}, 44100));
  const std::vector<uint8_t> pcm = noiseBytes(20000 * 2, 31);
  const Converted head = convert(converter, pcm.data(), 16384 * 2, false);
  ASSERT_EQ(head.bytes.size(), 8193u * 2);
  const uint64_t before = (uint64_t(1) << 32) - 10000;
  ConverterTuning::advanceCounters(converter, before);
  EXPECT_GT(converter.framesIn(), uint64_t(1) << 32);
  EXPECT_LT(converter.framesOut(), uint64_t(1) << 32);
  const Converted tail = convert(converter, pcm.data() + 16384 * 2, uint32_t(pcm.size() - 16384 * 2), true);
  EXPECT_EQ(converter.framesIn(), before + 20000);
  EXPECT_EQ(converter.framesOut(), before + 20002);
  EXPECT_EQ(tail.bytes.size(), size_t(20002 - 8193) * 2);
}

TEST(EndOfStream, OutputDoesNotDependOnHowInputIsSplit) {
  struct Case {
    RatePair pair;
    int channels, bits, frames;
  };
  const Case cases[] = {
      {{22050, 44100}, 2, 16, 30000},
      {{44100, 22050}, 2, 16, 40000},
      {{48000, 44100}, 1, 24, 20000},
      {{44100, 48000}, 2, 8, 20000},
  };
  std::mt19937 gen(77);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.pair.in) + " -> " + std::to_string(c.pair.out));
    const size_t frameBytes = size_t(c.channels) * c.bits / 8;
    const std::vector<uint8_t> pcm = noiseBytes(size_t(c.frames) * frameBytes, uint32_t(c.frames));
    const std::vector<uint8_t> reference = convertInPieces(c.pair, c.channels, c.bits, pcm, {pcm.size()}, false);
    ASSERT_EQ(int64_t(reference.size() / frameBytes), expectedStreamFrames(c.frames, c.pair.in, c.pair.out));
    for (size_t largest : {size_t(50000), size_t(7000), size_t(333)}) {
      SCOPED_TRACE(largest);
      for (bool emptyEnd : {false, true}) {
        const std::vector<size_t> pieces = randomPieces(pcm.size(), largest, gen);
        EXPECT_EQ(convertInPieces(c.pair, c.channels, c.bits, pcm, pieces, emptyEnd), reference);
      }
    }
  }
}

TEST(EndOfStream, OneByteBlocksGiveTheSameOutput) {
  // 8-bit mono keeps the pending bytes short; both pairs cross stage blocks.
  for (const RatePair pair : {RatePair{48000, 44100}, RatePair{8000, 48000}}) {
    SCOPED_TRACE(std::to_string(pair.in) + " -> " + std::to_string(pair.out));
    const std::vector<uint8_t> pcm = noiseBytes(12000, 12);
    const std::vector<uint8_t> reference = convertInPieces(pair, 1, 8, pcm, {pcm.size()}, false);
    EXPECT_EQ(convertInPieces(pair, 1, 8, pcm, std::vector<size_t>(pcm.size(), 1), false), reference);
  }
}

}  // namespace
