#pragma once

#include <cstdint>
#include <memory>

#include "resample/converter_filters.h"
#include "resample/converter_plan.h"
#include "resample/pcm_format.h"

struct LaneKernels;

// What both conversion paths work with: the format and plan, the vector
// kernels, the shared filters, the block buffers both stages fill, and the
// emission rules with the stream's frame counters. The converter owns it;
// the one path that configure made works in it.
struct StageContext {
  using DoubleArray = std::unique_ptr<double[]>;
  using ByteArray = std::unique_ptr<uint8_t[]>;
  using ChannelArrays = std::unique_ptr<DoubleArray[]>;

  // Takes the format and the plan's numbers, chooses the kernels.
  void adopt(const PcmFormat& input, int rate, const ConverterPlan& converterPlan);
  // Takes the filters of the plan from the cache, or designs them there.
  bool adoptFilters();  // false: out of memory
  // inputBytes and inputSamples for `inputFrames` frames, outputBytes and
  // outputSamples for `outputFrames`, an FFT block per channel and the pair
  // block. False: out of memory.
  bool allocateBlockBuffers(int64_t inputFrames, int64_t outputFrames);
  void release();

  // Decodes `framesRead` staged frames to `samples`, silence after them up
  // to `framesWanted`, and counts them in.
  void takeInput(double* samples, int framesRead, int framesWanted, bool endFlag);
  // The FFT low-pass of one channel's block (fftHop values) in place, and
  // of a channel pair put interleaved into pairBlock (into the two
  // channels' fftBlock).
  void convolve(double* block);
  void filterPair(int channel);
  // Encodes the block's `framesMade` frames and applies the emission rules;
  // returns the emitted byte count and points outPointer at them.
  int emit(uint8_t*& outPointer, int framesMade);
  // The length of the output of a stream of `inputFrames` frames:
  // floor(inputFrames * out / in) + 2.
  uint64_t targetFrames(uint64_t inputFrames) const;

  // Format and plan.
  int channels = 0;
  int inputRate = 0;
  int outputRate = 0;
  int bytesPerSample = 0;  // of input and output alike
  ConverterPlan plan;
  // The vector kernels (lane_kernels.h); the shared filters' records are
  // laid out for the same lanes (widestFftLanes).
  const LaneKernels* kernels = nullptr;
  // Shared with every converter of the same recipe, read only.
  std::shared_ptr<const ConverterFilters> filters;

  // Block buffers, sized by the path.
  ByteArray inputBytes;
  ByteArray outputBytes;
  DoubleArray inputSamples;
  DoubleArray outputSamples;
  ChannelArrays fftBlock;  // fftLength values per channel
  // Two channels' blocks interleaved (value j of channel c at 2j, of c + 1
  // at 2j + 1) so that one transform filters both; a single channel's
  // transform works in it. 32-byte aligned inside its storage.
  DoubleArray pairBlockStorage;
  double* pairBlock = nullptr;

  // Emission state.
  int outputDelay = 0;  // leading frames still to drop
  int initialOutputDelay = 0;
  bool firstOutput = true;
  bool endOfStream = false;
  bool streamFinished = false;  // the emission rules completed the stream
  uint64_t framesIn = 0;
  uint64_t framesOut = 0;
};
