// The parts both conversion paths share: set-up of the filters and block
// buffers, decoding a block's input, the FFT convolution and the emission
// rules (delay dropping, stream length).

#include "resample/stage_context.h"

#include <algorithm>
#include <cmath>

#include "resample/lane_kernels.h"
#include "resample/nothrow_arrays.h"
#include "resample/pcm_codec.h"

StageContext::StageContext(const ConverterPlan& plan, const PcmFormat& input)
    : converterPlan(plan),
      channelCount(input.channels),
      bytesPerSample(input.bitsPerSample / 8),
      kernelTable(&laneKernels(widestFftLanes())),
      outputDelay(plan.design.outputDelay) {}

bool StageContext::shareFilters() {
  filters = sharedConverterFilters(converterPlan.design);
  return filters != nullptr;
}

// The pair block holds two interleaved blocks of fftLength values (also the
// work area of a single channel's transform), 32-byte aligned for the
// vector lanes (new[] of doubles guarantees only 8 bytes on 32-bit targets,
// hence spare values).
bool StageContext::allocateBlockBuffers(int64_t inputCapacity, int64_t outputCapacity) {
  const int64_t ch = channelCount;
  const int fftLength = converterPlan.design.fftLength;
  if (!allocatePerChannel(fftBlocks, channelCount, fftLength) ||
      !allocateZeroed(inputBytes, inputCapacity * ch * bytesPerSample) ||
      !allocateZeroed(outputBytes, outputCapacity * ch * bytesPerSample) ||
      !allocateZeroed(inputSampleBuffer, inputCapacity * ch) ||
      !allocateZeroed(outputSampleBuffer, outputCapacity * ch) ||
      !allocateZeroed(pairBlockStorage, 2 * int64_t(fftLength) + 4))
    return false;
  const uintptr_t address = reinterpret_cast<uintptr_t>(pairBlockStorage.get());
  pairBlockStart = pairBlockStorage.get() + (32 - address % 32) % 32 / sizeof(double);
  return true;
}

void StageContext::takeInput(double* samples, int framesRead, int framesWanted, bool endFlag) {
  const size_t ch = size_t(channelCount);
  pcm::decodeSamples(inputBytes.get(), bytesPerSample, size_t(framesRead) * ch, samples);
  std::fill(samples + size_t(framesRead) * ch, samples + size_t(framesWanted) * ch, 0.0);
  framesDecoded += uint64_t(framesRead);
  endOfStream = endFlag;
}

// Fast convolution of the first fftHop values of the channel's block (the
// rest counts as zero and is not read) with the FFT low-pass, whose
// pre-scaled spectrum the shared filters hold (records of
// makeConvolutionFilter). The filter is never longer than fftHop taps, so
// nothing wraps around. pairBlock is the work area.
void StageContext::filterChannel(int channel) {
  kernelTable->convolveBlock(converterPlan.design.fftLength, fftBlocks[channel].get(), pairBlockStart,
                             filters->spectrum.get(), filters->fftBitReversal.get(), filters->fftCosSin.get());
}

// filterChannel for channels `channel` and `channel + 1` at once. The caller
// has put both blocks' first fftHop values interleaved into pairBlock (value
// j of `channel` at 2j, of `channel + 1` at 2j + 1); what follows them
// counts as zero. The filtered blocks land in fftBlock of the two channels.
void StageContext::filterPair(int channel) {
  kernelTable->convolveBlockPair(converterPlan.design.fftLength, pairBlockStart, filters->spectrum.get(),
                                 filters->fftBitReversal.get(), filters->fftCosSin.get(), fftBlocks[channel].get(),
                                 fftBlocks[channel + 1].get());
}

uint64_t StageContext::targetFrames(uint64_t streamInputFrames) const {
  const ConverterDesign& d = converterPlan.design;
  return uint64_t(std::floor(double(streamInputFrames) * d.outputRate / d.inputRate)) + 2;
}

// The leading outputDelay frames of the stream are the filters' delay and
// are dropped; the end-flagged block whose frames reach floor(S) + 2,
// S = framesIn * out / in, cuts the stream there and finishes it.
int StageContext::emit(uint8_t*& outPointer, int framesMade) {
  const ConverterDesign& d = converterPlan.design;
  pcm::encodeSamples(outputSampleBuffer.get(), bytesPerSample, size_t(framesMade) * channelCount, outputBytes.get());
  int start = 0;
  int frames = framesMade;
  if (firstOutput) {
    if (framesMade < outputDelay) {
      outputDelay -= framesMade;
      return 0;
    }
    start = outputDelay;
    frames = framesMade - outputDelay;
    firstOutput = false;
  }
  const double exactLength = double(framesDecoded) * d.outputRate / d.inputRate;
  if (endOfStream && exactLength + 2.0 <= double(framesEmitted + uint64_t(frames))) {
    const uint64_t target = targetFrames(framesDecoded);
    frames = target > framesEmitted ? int(target - framesEmitted) : 0;
    streamFinished = true;
  }
  if (frames <= 0) return 0;
  outPointer = outputBytes.get() + size_t(start) * frameBytes();
  framesEmitted += uint64_t(frames);
  return frames * frameBytes();
}
