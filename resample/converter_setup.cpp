// Set-up of the converter: rate ratio, oversampling factor, filter lengths,
// the polyphase cycle tables, the block buffers and the initial running
// state. The filters themselves come from converter_filters.cpp, shared
// with every converter of the same recipe.

#include <climits>
#include <cmath>
#include <cstdint>
#include <new>

#include "converter_filters.h"
#include "fft_convolution.h"
#include "filter_design.h"
#include "lane_kernels.h"
#include "sample_rate_converter.h"

namespace {

// Upper limit for all buffers of one converter together. Far above what any
// real format needs (a few MB per channel); it turns absurd channel counts
// into a refused configure instead of an allocation the system may grant
// lazily and then fail on.
constexpr int64_t kMemoryBudgetBytes = int64_t(1) << 30;

bool fitsInt(int64_t value) { return value >= 0 && value <= INT_MAX; }

const char* const kRatesTooLarge = "sample rates too large: the converter's intermediate rate would not fit 32 bits";
const char* const kFilterTooLong = "rate pair not supported: its filters would be too long";
const char* const kTooLarge =
    "rate pair too extreme for this many channels: the converter's buffers would exceed 1 GiB or 32-bit sizes";
const char* const kRatioTooLarge =
    "rate pair too extreme: the converter's buffers would exceed 1 GiB or 32-bit sizes even for one channel";

// Adds up the buffers of a design; every element count must fit an int.
class SizeBudget {
 public:
  void add(int64_t count, int64_t elementBytes) {
    if (!fitsInt(count)) ok = false;
    if (ok) total += count * elementBytes;
    if (total > kMemoryBudgetBytes) ok = false;
  }
  void requireInt(int64_t value) {
    if (!fitsInt(value)) ok = false;
  }
  bool fits() const { return ok; }

 private:
  int64_t total = 0;
  bool ok = true;
};

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

bool SampleRateConverter::configure(const PcmFormat& input, int rate) {
  if (configureCalled) return refuse("the converter is already configured");  // one converter, one design
  configureCalled = true;
  channels = input.channels;
  inputRate = input.sampleRate;
  outputRate = rate;
  const int bits = input.bitsPerSample;
  if (channels <= 0) return refuse("the channel count must be 1 or more");
  if (inputRate <= 0 || outputRate <= 0) return refuse("sample rates must be 1 Hz or more");
  if (bits != 8 && bits != 16 && bits != 24) return refuse("samples must be 8, 16 or 24 bits wide");
  inputBytesPerSample = bits / 8;
  outputBytesPerSample = inputBytesPerSample;
  upsampling = inputRate < outputRate;
  kernels = &laneKernels(widestFftLanes());
  if (!designFilters()) {
    releaseBuffers();
    return false;
  }
  configured = true;
  refusal = nullptr;
  return true;
}

bool SampleRateConverter::designFilters() {
  if (!chooseOversampling()) return false;
  return upsampling ? designUpsampling() : designDownsampling();
}

// q makes the reduced factor of the polyphase stage's grid divisible: the
// intermediate rate is q times the output (up) or input (down) rate.
bool SampleRateConverter::chooseOversampling() {
  rateGcd = gcd(inputRate, outputRate);
  const int reduced = upsampling ? inputRate / rateGcd : outputRate / rateGcd;
  if (reduced == 1) {
    oversampling = 1;
  } else if (reduced % 2 == 0) {
    oversampling = 2;
  } else if (reduced % 3 == 0) {
    oversampling = 3;
  } else {
    return refuse(
        "rate pair not supported: the lower rate divided by the greatest common divisor of the two rates "
        "must be 1 or divisible by 2 or 3");
  }
  return true;
}

bool SampleRateConverter::designUpsampling() {
  const int q = oversampling;
  // At most kMaxUpsamplingRatio intermediate samples per input frame (see
  // the block check below); real pairs stay far below (8000 -> 384000: 48).
  if (int64_t(outputRate) * q > int64_t(inputRate) * kMaxUpsamplingRatio)
    return refuse("up-sampling ratio too large: at most 8192 times the input rate, counting the oversampling");
  const int64_t lcm = int64_t(inputRate / rateGcd) * outputRate;
  const int64_t intermediate = int64_t(outputRate) * q;
  if (!fitsInt(lcm) || !fitsInt(intermediate)) return refuse(kRatesTooLarge);
  stage1Rate = int(lcm);
  stage2Rate = int(intermediate);

  // Polyphase interpolator: pass band up to the input's Nyquist frequency,
  // transition up to half the intermediate rate.
  const double transition1 = double(stage2Rate / 2 - inputRate / 2);
  const double cutoff1 = inputRate / 2 + transition1 / 2.0;
  stage1Length = polyphaseFilterLength(stage1Rate, transition1);
  stage1Phases = stage1Rate / inputRate;
  if (stage1Length == 0) return refuse(kFilterTooLong);
  stage1TapsPerPhase = stage1Length / stage1Phases + 1;

  double transition2 = 0.0;
  stage2Length = fftFilterLength(stage2Rate, upFftBaseLength, stage2FftLength, transition2);
  if (stage2Length == 0) return refuse(kFilterTooLong);
  // The long filter's transition band (under 100 Hz) is centred on the
  // input's Nyquist frequency. Below 200 Hz of input it can reach down over
  // most of the input's band, where tones would keep part of their images.
  if (transition2 > inputRate / 2.0)
    return refuse("input rate too low for this up-sampling ratio: the long filter would pass less than half of the "
                  "input's band");
  fftHop = stage2FftLength / 2;
  // Every stage block must take at least two new input frames. At a ratio
  // beyond that (1 Hz -> 44100 Hz) one frame outlasts a whole block, the
  // driver would meet blocks that read nothing and the stream would stop
  // short: such a pair is refused. With blocks of 16384 or more the ratio
  // limit above already ensures it.
  if (int64_t(fftHop) * inputRate < int64_t(stage2Rate) * 2)
    return refuse("up-sampling ratio too large: one input frame would outlast a whole stage block");
  if (!sizesFit(channels)) return refuse(sizesFit(1) ? kTooLarge : kRatioTooLarge);
  if (!allocateUpsampling()) return refuse(kOutOfMemoryReason);

  // Cycle of the interpolator: output i uses row stage1PhaseIndex[i]; the
  // input frame advances where the row index wraps below the step.
  const int cycle = stage1Phases * q;
  const int64_t step = stage1Rate / stage2Rate;
  for (int i = 0; i < cycle; ++i) {
    int v = int(stage1Phases - (i * step) % stage1Phases);
    if (v == stage1Phases) v = 0;
    stage1PhaseIndex[i] = v;
    stage1InputStep[i] = v < step ? channels : 0;
  }
  FilterRecipe recipe;
  recipe.upsampling = true;
  recipe.inputRate = inputRate;
  recipe.fftRate = stage2Rate;
  recipe.fftTaps = stage2Length;
  recipe.fftLength = stage2FftLength;
  recipe.fftCutoffHz = double(inputRate / 2);
  recipe.polyphaseRate = stage1Rate;
  recipe.polyphaseTaps = stage1Length;
  recipe.phases = stage1Phases;
  recipe.tapsPerPhase = stage1TapsPerPhase;
  recipe.polyphaseCutoffHz = cutoff1;
  recipe.polyphaseGain = double(stage1Rate) / double(inputRate);
  if (!adoptSharedFilters(recipe)) return refuse(kOutOfMemoryReason);

  // The zero frames already in inputSamples stand in for the history the
  // interpolator needs before the first input frame.
  inputFill = (stage1Length / 2) / stage1Phases + 1;
  outputDelay = int((stage2Length / 2.0) / (stage2Rate / outputRate));
  initialOutputDelay = outputDelay;
  return true;
}

bool SampleRateConverter::designDownsampling() {
  const int q = oversampling;
  const int64_t stuffed = int64_t(inputRate) * q;
  const int64_t lcm = int64_t(inputRate / rateGcd) * outputRate;
  if (!fitsInt(stuffed) || !fitsInt(lcm)) return refuse(kRatesTooLarge);
  stage1Rate = int(stuffed);
  stage2Rate = int(lcm);

  double transition1 = 0.0;
  stage1Length = fftFilterLength(stage1Rate, downFftBaseLength, stage1FftLength, transition1);
  if (stage1Length == 0) return refuse(kFilterTooLong);
  const double cutoff1 = (outputRate - transition1) / 2.0;
  fftHop = stage1FftLength / 2;

  double transition2 = 0.0, cutoff2 = 0.0;
  if (q == 1) {
    // The output rate divides the input rate: keep every (in/out)-th sample.
    stage2Length = stage2TapsPerPhase = stage2Phases = 1;
  } else {
    transition2 = double(stage1Rate / 2 - inputRate / 2);
    cutoff2 = inputRate / 2 + transition2 / 2.0;
    stage2Length = polyphaseFilterLength(stage2Rate, transition2);
    stage2Phases = stage2Rate / stage1Rate;
    if (stage2Length == 0) return refuse(kFilterTooLong);
    stage2TapsPerPhase = stage2Length / stage2Phases + 1;
  }
  if (!sizesFit(channels)) return refuse(sizesFit(1) ? kTooLarge : kRatioTooLarge);
  if (!allocateDownsampling()) return refuse(kOutOfMemoryReason);

  if (q == 1) {
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
  FilterRecipe recipe;
  recipe.upsampling = false;
  recipe.inputRate = inputRate;
  recipe.fftRate = stage1Rate;
  recipe.fftTaps = stage1Length;
  recipe.fftLength = stage1FftLength;
  recipe.fftCutoffHz = cutoff1;
  recipe.polyphaseRate = stage2Rate;
  recipe.polyphaseTaps = stage2Length;  // 1 when q is 1: the single tap 1.0
  recipe.phases = stage2Phases;
  recipe.tapsPerPhase = stage2TapsPerPhase;
  recipe.polyphaseCutoffHz = cutoff2;
  recipe.polyphaseGain = q == 1 ? 1.0 : double(stage2Rate) / double(stage1Rate);
  if (!adoptSharedFilters(recipe)) return refuse(kOutOfMemoryReason);

  outputDelay = int((stage1Length / 2.0) / (double(stage1Rate) / outputRate) +
                    (stage2Length / 2.0) / (double(stage2Rate) / outputRate));
  initialOutputDelay = outputDelay;
  return true;
}

// Checks every buffer size and the running positions against 32-bit ints
// and the memory budget before anything is allocated.
bool SampleRateConverter::sizesFit(int64_t ch) const {
  const int64_t hop = fftHop;
  const int64_t q = oversampling;
  const int64_t fft = upsampling ? stage2FftLength : stage1FftLength;
  SizeBudget budget;
  budget.add(fft / 2, sizeof(double));
  budget.add(int64_t(std::sqrt(double(fft)) + 2.0), sizeof(int));
  budget.add(ch * fft, sizeof(double));  // fftBlock
  budget.add(2 * fft + 4, sizeof(double));  // pairBlock
  budget.add(fft + convolutionFilterSize(int(fft)), sizeof(double));  // spectrum and its taps while made
  if (upsampling) {
    const int64_t taps = stage1TapsPerPhase;
    const int64_t tailFrames = hop / q + 1;
    budget.add(int64_t(stage1Phases) * q * 2, sizeof(int));
    budget.add(int64_t(stage1Phases) * taps, sizeof(double));
    budget.add(stage1Phases, sizeof(double*));
    budget.add(ch * tailFrames, sizeof(double));                  // overlapTail
    budget.add((hop + taps) * ch * inputBytesPerSample, 1);       // inputBytes
    budget.add((hop + taps) * ch, sizeof(double));                // inputSamples
    budget.add(tailFrames * ch * outputBytesPerSample, 1);        // outputBytes
    budget.add(tailFrames * ch, sizeof(double));                  // outputSamples
    // stage1Position: at most one row of phases before a block's advance.
    budget.requireInt(hop * (inputRate / rateGcd) / q + stage1Phases);
  } else {
    const int64_t taps = stage2TapsPerPhase;
    const int64_t stagedFrames = hop / q + q + 1;
    const double outFrames = double(hop) * inputRate / outputRate + 1.0;
    if (outFrames * ch * outputBytesPerSample > double(INT_MAX)) return false;
    const int64_t blockOutput = maxFramesPerBlock();
    budget.add(int64_t(stage2Phases) * 2, sizeof(int));
    budget.add(int64_t(stage2Phases) * taps, sizeof(double));
    budget.add(stage2Phases, sizeof(double*));
    budget.add(ch * (taps + hop + 1), sizeof(double));                   // polyphaseHistory
    budget.add(ch * stagedFrames * inputBytesPerSample, 1);              // inputBytes
    budget.add(ch * stagedFrames, sizeof(double));                       // inputSamples
    budget.add(outputBytesPerSample * ch * blockOutput, 1);              // outputBytes
    budget.add(ch * blockOutput, sizeof(double));                        // outputSamples
    // polyphasePosition: at most a block of outputs beyond the window grid.
    const int64_t grid = stage2Rate / stage1Rate;
    const int64_t outputStep = stage2Rate / outputRate;
    budget.requireInt((hop + taps + 2) * grid + (int64_t(maxFramesPerBlock()) + 2) * outputStep);
  }
  return budget.fits();
}

bool SampleRateConverter::allocateUpsampling() {
  const int64_t ch = channels;
  const int64_t hop = fftHop;
  const int64_t taps = stage1TapsPerPhase;
  const int64_t tailFrames = hop / oversampling + 1;
  const int64_t cycle = int64_t(stage1Phases) * oversampling;
  return allocateZeroed(stage1PhaseIndex, cycle) &&
         allocateZeroed(stage1InputStep, cycle) && allocatePerChannel(overlapTail, channels, tailFrames) &&
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
  return allocateZeroed(stage2PhaseIndex, stage2Phases) &&
         allocateZeroed(stage2InputStep, stage2Phases) && allocatePerChannel(fftBlock, channels, stage1FftLength) &&
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
