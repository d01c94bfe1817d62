// Set-up of the converter from its plan (converter_plan.cpp: the rates,
// oversampling factor, filter lengths and every reason to refuse): the
// polyphase cycle tables, the block buffers and the initial running state.
// The filters themselves come from converter_filters.cpp, shared with every
// converter of the same recipe.

#include <cstdint>
#include <new>

#include "resample/converter_filters.h"
#include "resample/converter_plan.h"
#include "resample/lane_kernels.h"
#include "resample/sample_rate_converter.h"

namespace {

template <typename T>
bool allocateZeroed(std::unique_ptr<T[]>& array, int64_t count) {
  array.reset(new (std::nothrow) T[size_t(count)]());
  return array != nullptr;
}

bool allocatePerChannel(std::unique_ptr<std::unique_ptr<double[]>[]>& arrays, int channels, int64_t count) {
  arrays.reset(new (std::nothrow) std::unique_ptr<double[]>[size_t(channels)]);
  if (!arrays) return false;
  for (int ch = 0; ch < channels; ++ch) {
    if (!allocateZeroed(arrays[ch], count)) return false;
  }
  return true;
}

}  // namespace

const char* const SampleRateConverter::kOutOfMemoryReason = "out of memory while setting up the converter";

SampleRateConverter::SampleRateConverter() { pendingInput.reset(); }

bool SampleRateConverter::refuse(const char* why) {
  refusal = why;
  return false;
}

SampleRateConverter::~SampleRateConverter() {
  releaseBuffers();
  pendingInput.release();
}

const char* SampleRateConverter::refusalFor(const PcmFormat& input, int outputRate) {
  return planConverter(input, outputRate, kFftBaseLength).refusal;
}

bool SampleRateConverter::configure(const PcmFormat& input, int rate) {
  if (configureCalled) return refuse("the converter is already configured");  // one converter, one design
  configureCalled = true;
  const ConverterPlan plan = planConverter(input, rate, fftBaseLength);
  if (plan.refusal != nullptr) return refuse(plan.refusal);
  adoptPlan(input, rate, plan);
  kernels = &laneKernels(widestFftLanes());
  const bool made = upsampling ? makeUpsampling(plan) : makeDownsampling(plan);
  if (!made) {
    releaseBuffers();
    return refuse(kOutOfMemoryReason);
  }
  configured = true;
  refusal = nullptr;
  return true;
}

// Takes the plan's numbers into the stages' fields.
void SampleRateConverter::adoptPlan(const PcmFormat& input, int rate, const ConverterPlan& plan) {
  channels = input.channels;
  inputRate = input.sampleRate;
  outputRate = rate;
  inputBytesPerSample = outputBytesPerSample = input.bitsPerSample / 8;
  upsampling = plan.upsampling;
  rateGcd = plan.rateGcd;
  oversampling = plan.oversampling;
  stage1Rate = plan.stage1Rate;
  stage2Rate = plan.stage2Rate;
  fftHop = plan.fftHop;
  blockFrames = plan.blockFrames;
  if (upsampling) {
    stage1Length = plan.polyphaseTaps;
    stage1Phases = plan.phases;
    stage1TapsPerPhase = plan.tapsPerPhase;
    stage2Length = plan.fftTaps;
    stage2FftLength = plan.fftLength;
  } else {
    stage1Length = plan.fftTaps;
    stage1FftLength = plan.fftLength;
    stage2Length = plan.polyphaseTaps;
    stage2Phases = plan.phases;
    stage2TapsPerPhase = plan.tapsPerPhase;
  }
}

// What the filters of a plan follow from.
FilterRecipe SampleRateConverter::recipeOf(const ConverterPlan& plan) const {
  FilterRecipe recipe;
  recipe.upsampling = upsampling;
  recipe.inputRate = inputRate;
  recipe.fftRate = upsampling ? stage2Rate : stage1Rate;
  recipe.fftTaps = plan.fftTaps;
  recipe.fftLength = plan.fftLength;
  recipe.fftCutoffHz = plan.fftCutoffHz;
  recipe.polyphaseRate = upsampling ? stage1Rate : stage2Rate;
  recipe.polyphaseTaps = plan.polyphaseTaps;  // 1 when q is 1: the single tap 1.0
  recipe.phases = plan.phases;
  recipe.tapsPerPhase = plan.tapsPerPhase;
  recipe.polyphaseCutoffHz = plan.polyphaseCutoffHz;
  const bool keepEveryNth = !upsampling && oversampling == 1;
  const double polyphaseInputRate = upsampling ? inputRate : stage1Rate;
  recipe.polyphaseGain = keepEveryNth ? 1.0 : double(recipe.polyphaseRate) / polyphaseInputRate;
  return recipe;
}

bool SampleRateConverter::makeUpsampling(const ConverterPlan& plan) {
  if (!allocateUpsampling()) return false;
  // Cycle of the interpolator: output i uses row stage1PhaseIndex[i]; the
  // input frame advances where the row index wraps below the step.
  const int cycle = stage1Phases * oversampling;
  const int64_t step = stage1Rate / stage2Rate;
  for (int i = 0; i < cycle; ++i) {
    int v = int(stage1Phases - (i * step) % stage1Phases);
    if (v == stage1Phases) v = 0;
    stage1PhaseIndex[i] = v;
    stage1InputStep[i] = v < step ? channels : 0;
  }
  if (!adoptSharedFilters(recipeOf(plan))) return false;

  // The zero frames already in inputSamples stand in for the history the
  // interpolator needs before the first input frame.
  inputFill = (stage1Length / 2) / stage1Phases + 1;
  outputDelay = int((stage2Length / 2.0) / (stage2Rate / outputRate));
  initialOutputDelay = outputDelay;
  return true;
}

bool SampleRateConverter::makeDownsampling(const ConverterPlan& plan) {
  if (!allocateDownsampling()) return false;
  if (oversampling == 1) {
    stage2PhaseIndex[0] = 0;
    stage2InputStep[0] = inputRate / outputRate;
  } else {
    const int phases = stage2Phases;
    const int64_t step = stage2Rate / outputRate;
    for (int i = 0; i < phases; ++i) {
      int v = int(phases - (i * step) % phases);
      if (v == phases) v = 0;
      stage2PhaseIndex[i] = v;
    }
    for (int i = 0; i < phases; ++i) {
      int advance = int((step - stage2PhaseIndex[i]) / phases + 1);
      if (stage2PhaseIndex[(i + 1) % phases] == 0) advance -= 1;
      stage2InputStep[i] = advance;
    }
  }
  if (!adoptSharedFilters(recipeOf(plan))) return false;

  outputDelay = int((stage1Length / 2.0) / (double(stage1Rate) / outputRate) +
                    (stage2Length / 2.0) / (double(stage2Rate) / outputRate));
  initialOutputDelay = outputDelay;
  return true;
}

bool SampleRateConverter::allocateUpsampling() {
  const int64_t ch = channels;
  const int64_t hop = fftHop;
  const int64_t taps = stage1TapsPerPhase;
  const int64_t tailFrames = hop / oversampling + 1;
  const int64_t cycle = int64_t(stage1Phases) * oversampling;
  return allocateZeroed(stage1PhaseIndex, cycle) && allocateZeroed(stage1InputStep, cycle) &&
         allocatePerChannel(overlapTail, channels, tailFrames) &&
         allocatePerChannel(fftBlock, channels, stage2FftLength) &&
         allocateZeroed(inputBytes, (hop + taps) * ch * inputBytesPerSample) &&
         allocateZeroed(outputBytes, tailFrames * ch * outputBytesPerSample) &&
         allocateZeroed(inputSamples, (hop + taps) * ch) && allocateZeroed(outputSamples, tailFrames * ch) &&
         allocatePairBlock(stage2FftLength);
}

bool SampleRateConverter::allocateDownsampling() {
  const int64_t ch = channels;
  const int64_t hop = fftHop;
  const int64_t stagedFrames = hop / oversampling + oversampling + 1;
  // One stage block's output: about fftHop * out / (in * q) frames. (Sized
  // as fftHop * in / out frames, it would be (in / out)^2 times too large:
  // gigabytes for 8000 -> 1 Hz.)
  const int64_t blockOutput = maxFramesPerBlock();
  const int64_t outputByteCount = outputBytesPerSample * ch * blockOutput;
  const int64_t outputSampleCount = ch * blockOutput;
  const int64_t historyLength = stage2TapsPerPhase + hop + 1;
  return allocateZeroed(stage2PhaseIndex, stage2Phases) && allocateZeroed(stage2InputStep, stage2Phases) &&
         allocatePerChannel(fftBlock, channels, stage1FftLength) &&
         allocatePerChannel(polyphaseHistory, channels, historyLength) &&
         allocateZeroed(inputBytes, ch * stagedFrames * inputBytesPerSample) &&
         allocateZeroed(outputBytes, outputByteCount) && allocateZeroed(inputSamples, ch * stagedFrames) &&
         allocateZeroed(outputSamples, outputSampleCount) && allocatePairBlock(stage1FftLength);
}

// Two interleaved blocks of fftLength values (also the work area of a single
// channel's transform), 32-byte aligned for the vector lanes (new[] of
// doubles guarantees only 8 bytes on 32-bit targets, hence spare values).
bool SampleRateConverter::allocatePairBlock(int fftLength) {
  if (!allocateZeroed(pairBlockStorage, 2 * int64_t(fftLength) + 4)) return false;
  const uintptr_t address = reinterpret_cast<uintptr_t>(pairBlockStorage.get());
  pairBlock = pairBlockStorage.get() + (32 - address % 32) % 32 / sizeof(double);
  return true;
}

// Takes the filters of `recipe` from the cache, or designs them there.
bool SampleRateConverter::adoptSharedFilters(const FilterRecipe& recipe) {
  const std::shared_ptr<const ConverterFilters> filters = sharedConverterFilters(recipe);
  if (!filters) return false;
  fftBitReversal = SharedArray<int>(filters, filters->fftBitReversal.get());
  fftCosSin = SharedArray<double>(filters, filters->fftCosSin.get());
  const SharedArray<double> spectrum(filters, filters->spectrum.get());
  const SharedArray<const double*> rows(filters, filters->polyphaseRows.get());
  if (upsampling) {
    stage1Filter.rows = rows;
    stage2Spectrum = spectrum;
  } else {
    stage1Spectrum = spectrum;
    stage2Filter.rows = rows;
  }
  return true;
}

void SampleRateConverter::releaseBuffers() {
  fftBitReversal.reset();
  fftCosSin.reset();
  stage1PhaseIndex.reset();
  stage1InputStep.reset();
  stage2PhaseIndex.reset();
  stage2InputStep.reset();
  inputBytes.reset();
  outputBytes.reset();
  inputSamples.reset();
  outputSamples.reset();
  overlapTail.reset();
  fftBlock.reset();
  pairBlockStorage.reset();
  pairBlock = nullptr;
  polyphaseHistory.reset();
  stage1Filter.rows.reset();
  stage2Spectrum.reset();
  stage1Spectrum.reset();
  stage2Filter.rows.reset();
}

ConverterDesign SampleRateConverter::design() const {
  ConverterDesign d;
  d.upsampling = upsampling;
  d.oversampling = oversampling;
  d.stage1Rate = stage1Rate;
  d.stage2Rate = stage2Rate;
  d.stage1Length = stage1Length;
  d.stage2Length = stage2Length;
  d.tapsPerPhase = upsampling ? stage1TapsPerPhase : stage2TapsPerPhase;
  d.phases = upsampling ? stage1Phases : stage2Phases;
  d.fftLength = upsampling ? stage2FftLength : stage1FftLength;
  d.outputDelay = initialOutputDelay;
  return d;
}
