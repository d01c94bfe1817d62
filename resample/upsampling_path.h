#pragma once

#include <cstdint>
#include <memory>

#include "resample/conversion_path.h"

// Up-sampling (input rate below the output rate): polyphase interpolation
// from the input rate to q * outputRate, then the long low-pass by FFT
// convolution with overlap-add, keeping every q-th sample.
class UpsamplingPath final : public ConversionPath {
 public:
  using ConversionPath::ConversionPath;

  bool make() override;
  BlockCursor cursor() const override;
  int framesWanted(const BlockCursor& cursor) const override;
  void advance(BlockCursor& cursor) const override;
  int runBlock(uint8_t*& outPointer, bool endFlag, int framesWanted, int framesRead) override;

 private:
  bool allocate();
  int interpolateChannel(int channel, int64_t firstFrame);
  int interpolatePair(int channel, int64_t firstFrame);
  int decimateChannel(int channel, int& offsetAfter);
  int decimatePair(int channel, int& offsetAfter);
  int advancePerBlock() const;
  int shiftFrames(int position) const;
  int framesReached(int position) const;

  // The interpolator's cycle: output i uses row phaseIndex[i]; the input
  // frame advances where inputStep[i] is nonzero.
  std::unique_ptr<int[]> phaseIndex, inputStep;
  // Per channel: the kept samples of the previous FFT block's second half.
  StageContext::ChannelArrays overlapTail;

  // Running state.
  int inputFill = 0;         // frames in inputSamples, history included
  int gridPosition = 0;      // of the next output on the polyphase grid (P per input frame)
  int phase = 0;             // of the interpolator's cycle
  int decimationOffset = 0;  // first sample of the next FFT block kept
};
