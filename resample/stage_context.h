#pragma once

#include <cstdint>
#include <memory>

#include "resample/converter_filters.h"
#include "resample/converter_plan.h"
#include "resample/pcm_format.h"

struct LaneKernels;

// What both conversion paths work in: the plan, the vector kernels, the
// shared filters, the block buffers, and the emission rules with the
// stream's frame counters. The driver owns it; the one path that configure
// made fills the buffers and calls the operations. The emission state and
// the counters change only through takeInput and emit.
class StageContext {
 public:
  using DoubleArray = std::unique_ptr<double[]>;
  using ChannelArrays = std::unique_ptr<DoubleArray[]>;

  // Takes the plan and the format, chooses the kernels; allocates nothing.
  StageContext(const ConverterPlan& plan, const PcmFormat& input);
  StageContext(const StageContext&) = delete;
  StageContext& operator=(const StageContext&) = delete;

  // Set-up, false when memory ran out. shareFilters takes the design's
  // filters from the cache, or designs them there. allocateBlockBuffers
  // makes rawInput and inputSamples for `inputCapacity` frames,
  // outputSamples and the encoded output for `outputCapacity` frames, an
  // FFT block per channel and the pair block.
  bool shareFilters();
  bool allocateBlockBuffers(int64_t inputCapacity, int64_t outputCapacity);

  const ConverterPlan& plan() const { return converterPlan; }
  int channels() const { return channelCount; }
  int frameBytes() const { return channelCount * bytesPerSample; }  // of input and output alike
  // The vector kernels (lane_kernels.h); the shared filters' records are
  // laid out for the same lanes (widestFftLanes).
  const LaneKernels& kernels() const { return *kernelTable; }
  // The polyphase filter's rows by phase (converter_filters.h).
  const double* const* polyphaseRows() const { return filters->polyphaseRows.get(); }

  // Block buffers, rewritten by every stage block. rawInput: the frames the
  // driver stages for a block. inputSamples and outputSamples: interleaved
  // doubles. fftBlock: fftLength values per channel. pairBlock: two
  // channels' blocks interleaved (value j of channel c at 2j, of c + 1 at
  // 2j + 1) so that one transform filters both; 32-byte aligned.
  uint8_t* rawInput() { return inputBytes.get(); }
  double* inputSamples() { return inputSampleBuffer.get(); }
  double* outputSamples() { return outputSampleBuffer.get(); }
  double* fftBlock(int channel) { return fftBlocks[channel].get(); }
  double* pairBlock() { return pairBlockStart; }

  // Decodes `framesRead` staged frames to `samples`, silence after them up
  // to `framesWanted`, and counts them in.
  void takeInput(double* samples, int framesRead, int framesWanted, bool endFlag);
  // The FFT low-pass of one channel's block (its first fftHop values) in
  // place, and of a channel pair put interleaved into pairBlock (into the
  // two channels' fftBlock).
  void filterChannel(int channel);
  void filterPair(int channel);
  // Encodes the block's `framesMade` frames of outputSamples and applies
  // the emission rules; returns the emitted byte count and points
  // outPointer at them.
  int emit(uint8_t*& outPointer, int framesMade);

  // True once the emission rules completed the stream.
  bool finished() const { return streamFinished; }
  uint64_t framesIn() const { return framesDecoded; }
  uint64_t framesOut() const { return framesEmitted; }
  // The length of the output of a stream of `streamInputFrames` frames:
  // floor(streamInputFrames * out / in) + 2.
  uint64_t targetFrames(uint64_t streamInputFrames) const;

 private:
  // Tests only: the shared filters and the counters
  // (tests/resample/converter_probe.h).
  friend struct ConverterTuning;

  const ConverterPlan converterPlan;
  const int channelCount;
  const int bytesPerSample;  // of input and output alike
  const LaneKernels* const kernelTable;
  // Shared with every converter of an equal design, read only.
  std::shared_ptr<const ConverterFilters> filters;

  std::unique_ptr<uint8_t[]> inputBytes;
  std::unique_ptr<uint8_t[]> outputBytes;
  DoubleArray inputSampleBuffer;
  DoubleArray outputSampleBuffer;
  ChannelArrays fftBlocks;
  DoubleArray pairBlockStorage;  // pairBlockStart lies inside, aligned
  double* pairBlockStart = nullptr;

  // Emission state.
  int outputDelay;  // leading frames still to drop
  bool firstOutput = true;
  bool endOfStream = false;
  bool streamFinished = false;
  uint64_t framesDecoded = 0;  // padding not counted
  uint64_t framesEmitted = 0;
};
