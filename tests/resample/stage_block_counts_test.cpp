// How many frames each stage block takes and how many it emits, observed
// through the public driver: input arrives one frame short of a block, then
// the last frame, so each stage block runs in a call of its own.

#include <gtest/gtest.h>

#include "tests/resample/converter_probe.h"

namespace {

struct BlockStep {
  int framesTaken;
  int framesEmitted;
};

// Mono 16-bit noise, fed so that exactly one stage block runs per step.
class BlockRunner {
 public:
  BlockRunner(int in, int out) : inRate(in), outRate(out) {
    EXPECT_TRUE(converter.configure(PcmFormat{1, in, 16}, out));
  }

  BlockStep runOneBlock() {
    const int wanted = ConverterProbe::framesWanted(converter);
    const uint64_t before = converter.framesIn();
    const std::vector<uint8_t> pcm = noiseBytes(size_t(wanted) * 2, seed++);
    const Converted shortByOne = convert(converter, pcm.data(), uint32_t(pcm.size() - 2), false);
    EXPECT_TRUE(shortByOne.ok);
    EXPECT_TRUE(shortByOne.bytes.empty());
    EXPECT_EQ(converter.framesIn(), before);
    EXPECT_EQ(ConverterProbe::pendingBytes(converter), uint32_t(pcm.size() - 2));
    const Converted last = convert(converter, pcm.data() + pcm.size() - 2, 2, false);
    EXPECT_TRUE(last.ok);
    EXPECT_EQ(ConverterProbe::pendingBytes(converter), 0u);
    return BlockStep{int(converter.framesIn() - before), int(last.bytes.size() / 2)};
  }

  SampleRateConverter converter;
  int inRate, outRate;
  uint32_t seed = 1;
};

TEST(StageBlockCounts, Up22050To44100) {
  BlockRunner run(22050, 44100);
  EXPECT_EQ(ConverterProbe::inputFill(run.converter), 12);
  EXPECT_EQ(ConverterProbe::framesWanted(run.converter), 8205);
  const BlockStep first = run.runOneBlock();
  EXPECT_EQ(first.framesTaken, 8205);
  EXPECT_EQ(first.framesEmitted, 16384 - 8191);
  const BlockStep second = run.runOneBlock();
  EXPECT_EQ(second.framesTaken, 8191);
  EXPECT_EQ(second.framesEmitted, 16384);
  for (int i = 0; i < 2; ++i) {
    const BlockStep later = run.runOneBlock();
    EXPECT_EQ(later.framesTaken, 8192);
    EXPECT_EQ(later.framesEmitted, 16384);
  }
}

TEST(StageBlockCounts, Down44100To22050) {
  BlockRunner run(44100, 22050);
  const BlockStep first = run.runOneBlock();
  EXPECT_EQ(first.framesTaken, 16384);
  EXPECT_EQ(first.framesEmitted, 8193 - 4096);
  for (int i = 0; i < 2; ++i) {
    const BlockStep later = run.runOneBlock();
    EXPECT_EQ(later.framesTaken, 16384);
    EXPECT_EQ(later.framesEmitted, 8192);
  }
  EXPECT_EQ(ConverterProbe::stuffingOffset(run.converter), 0);
}

TEST(StageBlockCounts, EqualRates44100) {
  BlockRunner run(44100, 44100);
  const BlockStep first = run.runOneBlock();
  EXPECT_EQ(first.framesTaken, 16384);
  EXPECT_EQ(first.framesEmitted, 16385 - 8192);
  for (int i = 0; i < 2; ++i) {
    const BlockStep later = run.runOneBlock();
    EXPECT_EQ(later.framesTaken, 16384);
    EXPECT_EQ(later.framesEmitted, 16384);
  }
}

TEST(StageBlockCounts, Down48000To44100CyclesThroughStuffingOffsets) {
  BlockRunner run(48000, 44100);
  const int expectedTaken[] = {5462, 5461, 5461, 5462, 5461, 5461};
  const int expectedOffsetBefore[] = {0, 2, 1, 0, 2, 1};
  int totalEmitted = 0;
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ConverterProbe::stuffingOffset(run.converter), expectedOffsetBefore[i]);
    const BlockStep step = run.runOneBlock();
    EXPECT_EQ(step.framesTaken, expectedTaken[i]);
    if (i == 0) {
      EXPECT_EQ(step.framesEmitted, 5018 - 2513);
    } else {
      // 16384 stuffed samples at 144000 Hz make 5017.6 frames at 44100 Hz.
      EXPECT_GE(step.framesEmitted, 5017);
      EXPECT_LE(step.framesEmitted, 5018);
    }
    totalEmitted += step.framesEmitted;
  }
  // Three blocks take 16384 frames and make 15052.8 frames on average.
  EXPECT_NEAR(totalEmitted + 2513, 2 * 15052.8, 1.0);
}

TEST(StageBlockCounts, Up44100To48000CyclesThroughDecimationOffsets) {
  BlockRunner run(44100, 48000);
  const int expectedOffsetBefore[] = {0, 2, 1, 0, 2, 1};
  const int expectedFrames[] = {5462, 5461, 5461, 5462, 5461, 5461};
  uint64_t taken = 0;
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ConverterProbe::decimationOffset(run.converter), expectedOffsetBefore[i]);
    const BlockStep step = run.runOneBlock();
    EXPECT_EQ(step.framesEmitted, i == 0 ? expectedFrames[0] - 2730 : expectedFrames[i]);
    taken += uint64_t(step.framesTaken);
  }
  // Six blocks make 98304 samples at 144000 Hz: 30105.6 input frames, plus
  // the frames the interpolator reads ahead.
  EXPECT_NEAR(double(taken), 98304.0 * 44100 / 144000, 8.0);
}

TEST(StageBlockCounts, OneCallOfThreeBlocksEqualsThreeCalls) {
  const std::vector<uint8_t> pcm = noiseBytes(3 * 16384 * 4, 9);
  SampleRateConverter whole, pieces;
  ASSERT_TRUE(whole.configure(PcmFormat{2, 44100, 16}, 44100));
  ASSERT_TRUE(pieces.configure(PcmFormat{2, 44100, 16}, 44100));
  const Converted all = convert(whole, pcm, false);
  std::vector<uint8_t> joined;
  for (int block = 0; block < 3; ++block) {
    const Converted part = convert(pieces, pcm.data() + block * 16384 * 4, 16384 * 4, false);
    ASSERT_EQ(part.bytes.size(), size_t(block == 0 ? 8193 : 16384) * 4);
    joined.insert(joined.end(), part.bytes.begin(), part.bytes.end());
  }
  EXPECT_EQ(all.bytes, joined);
}

TEST(StageBlockCounts, EmptyCallWithoutEndFlagChangesNothing) {
  SampleRateConverter converter;
  ASSERT_TRUE(converter.configure(PcmFormat{2, 22050, 16}, 44100));
  const std::vector<uint8_t> pcm = noiseBytes(1001, 3);  // not a whole frame
  EXPECT_TRUE(convert(converter, pcm, false).bytes.empty());
  const Converted empty = convert(converter, nullptr, 0, false);
  EXPECT_TRUE(empty.ok);
  EXPECT_TRUE(empty.bytes.empty());
  EXPECT_EQ(ConverterProbe::pendingBytes(converter), 1001u);
  EXPECT_EQ(converter.framesIn(), 0u);
}

}  // namespace
