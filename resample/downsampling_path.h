#pragma once

#include <cstdint>
#include <memory>

#include "resample/conversion_path.h"

// Down-sampling (input rate at or above the output rate): zero-stuffing by
// q and the long low-pass by FFT convolution with overlap-add at
// inputRate * q, then a polyphase decimator to the output rate.
class DownsamplingPath final : public ConversionPath {
 public:
  using ConversionPath::ConversionPath;

  bool make() override;
  BlockCursor cursor() const override;
  int framesWanted(const BlockCursor& cursor) const override;
  void advance(BlockCursor& cursor) const override;
  int runBlock(uint8_t*& outPointer, bool endFlag, int framesWanted, int framesRead) override;

 private:
  bool allocate();
  void makeCycle();
  void stuffChannel(int channel, int inputFrames);
  void stuffPair(int channel, int inputFrames);
  void addBlock(int channel);
  int firstWindow() const;
  int decimateHistory(int channel, int& phaseAfter);
  int decimateHistoryPair(int channel, int& phaseAfter);
  int pickEveryStep(int channel, int& phaseAfter);
  void shiftHistory();
  int nextStuffingOffset(int offset) const;

  // The decimator's cycle: phase i uses row phaseIndex[i], then the window
  // moves on by inputStep[i] filtered samples.
  std::unique_ptr<int[]> phaseIndex, inputStep;
  // Per channel: the filtered samples the decimator's window still reads
  // (T + 1), then the current block's region (fftHop).
  StageContext::ChannelArrays polyphaseHistory;

  // Running state.
  int stuffingOffset = 0;     // where the next block's first input frame lands
  int polyphasePosition = 0;  // of the next output on the polyphase grid
  int phase = 0;              // of the decimator's cycle
};
