// The parts both conversion paths share: set-up of the format, filters and
// block buffers, decoding a block's input, the FFT convolution and the
// emission rules (delay dropping, stream length).

#include "resample/stage_context.h"

#include <algorithm>
#include <cmath>

#include "resample/lane_kernels.h"
#include "resample/nothrow_arrays.h"
#include "resample/pcm_codec.h"

void StageContext::adopt(const PcmFormat& input, int rate, const ConverterPlan& converterPlan) {
  channels = input.channels;
  inputRate = input.sampleRate;
  outputRate = rate;
  bytesPerSample = input.bitsPerSample / 8;
  plan = converterPlan;
  kernels = &laneKernels(widestFftLanes());
}

namespace {

// What the filters of a plan follow from.
FilterRecipe recipeOf(const ConverterPlan& plan, int inputRate) {
  const bool upsampling = plan.upsampling;
  FilterRecipe recipe;
  recipe.upsampling = upsampling;
  recipe.inputRate = inputRate;
  recipe.fftRate = upsampling ? plan.stage2Rate : plan.stage1Rate;
  recipe.fftTaps = plan.fftTaps;
  recipe.fftLength = plan.fftLength;
  recipe.fftCutoffHz = plan.fftCutoffHz;
  recipe.polyphaseRate = upsampling ? plan.stage1Rate : plan.stage2Rate;
  recipe.polyphaseTaps = plan.polyphaseTaps;  // 1 when q is 1: the single tap 1.0
  recipe.phases = plan.phases;
  recipe.tapsPerPhase = plan.tapsPerPhase;
  recipe.polyphaseCutoffHz = plan.polyphaseCutoffHz;
  const bool keepEveryNth = !upsampling && plan.oversampling == 1;
  const double polyphaseInputRate = upsampling ? inputRate : plan.stage1Rate;
  recipe.polyphaseGain = keepEveryNth ? 1.0 : double(recipe.polyphaseRate) / polyphaseInputRate;
  return recipe;
}

}  // namespace

bool StageContext::adoptFilters() {
  filters = sharedConverterFilters(recipeOf(plan, inputRate));
  return filters != nullptr;
}

// The pair block holds two interleaved blocks of fftLength values (also the
// work area of a single channel's transform), 32-byte aligned for the
// vector lanes (new[] of doubles guarantees only 8 bytes on 32-bit targets,
// hence spare values).
bool StageContext::allocateBlockBuffers(int64_t inputFrames, int64_t outputFrames) {
  const int64_t ch = channels;
  if (!allocatePerChannel(fftBlock, channels, plan.fftLength) ||
      !allocateZeroed(inputBytes, inputFrames * ch * bytesPerSample) ||
      !allocateZeroed(outputBytes, outputFrames * ch * bytesPerSample) ||
      !allocateZeroed(inputSamples, inputFrames * ch) || !allocateZeroed(outputSamples, outputFrames * ch) ||
      !allocateZeroed(pairBlockStorage, 2 * int64_t(plan.fftLength) + 4))
    return false;
  const uintptr_t address = reinterpret_cast<uintptr_t>(pairBlockStorage.get());
  pairBlock = pairBlockStorage.get() + (32 - address % 32) % 32 / sizeof(double);
  return true;
}

void StageContext::release() {
  filters.reset();
  inputBytes.reset();
  outputBytes.reset();
  inputSamples.reset();
  outputSamples.reset();
  fftBlock.reset();
  pairBlockStorage.reset();
  pairBlock = nullptr;
}

void StageContext::takeInput(double* samples, int framesRead, int framesWanted, bool endFlag) {
  const size_t ch = size_t(channels);
  pcm::decodeSamples(inputBytes.get(), bytesPerSample, size_t(framesRead) * ch, samples);
  std::fill(samples + size_t(framesRead) * ch, samples + size_t(framesWanted) * ch, 0.0);
  framesIn += uint64_t(framesRead);
  endOfStream = endFlag;
}

// Fast convolution of the first fftHop values of `block` (the rest counts as
// zero and is not read) with the FFT low-pass, whose pre-scaled spectrum the
// shared filters hold (records of makeConvolutionFilter). The filter is
// never longer than fftHop taps, so nothing wraps around. pairBlock is the
// work area.
void StageContext::convolve(double* block) {
  kernels->convolveBlock(plan.fftLength, block, pairBlock, filters->spectrum.get(), filters->fftBitReversal.get(),
                         filters->fftCosSin.get());
}

// convolve for channels `channel` and `channel + 1` at once. The caller has
// put both blocks' first fftHop values interleaved into pairBlock (value j
// of `channel` at 2j, of `channel + 1` at 2j + 1); what follows them counts
// as zero. The filtered blocks land in fftBlock of the two channels.
void StageContext::filterPair(int channel) {
  kernels->convolveBlockPair(plan.fftLength, pairBlock, filters->spectrum.get(), filters->fftBitReversal.get(),
                             filters->fftCosSin.get(), fftBlock[channel].get(), fftBlock[channel + 1].get());
}

uint64_t StageContext::targetFrames(uint64_t inputFrames) const {
  return uint64_t(std::floor(double(inputFrames) * outputRate / inputRate)) + 2;
}

// The leading outputDelay frames of the stream are the filters' delay and
// are dropped; the end-flagged block whose frames reach floor(S) + 2,
// S = framesIn * out / in, cuts the stream there and finishes it.
int StageContext::emit(uint8_t*& outPointer, int framesMade) {
  pcm::encodeSamples(outputSamples.get(), bytesPerSample, size_t(framesMade) * channels, outputBytes.get());
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
  const double exactLength = double(framesIn) * outputRate / inputRate;
  if (endOfStream && exactLength + 2.0 <= double(framesOut + uint64_t(frames))) {
    const uint64_t target = targetFrames(framesIn);
    frames = target > framesOut ? int(target - framesOut) : 0;
    streamFinished = true;
  }
  if (frames <= 0) return 0;
  const int frameBytes = channels * bytesPerSample;
  outPointer = outputBytes.get() + size_t(start) * frameBytes;
  framesOut += uint64_t(frames);
  return frames * frameBytes;
}
