// The converter's design in numbers and every reason to refuse a format or
// rate pair, in the order configure has always checked them.

#include "resample/converter_plan.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "resample/fft_convolution.h"
#include "resample/filter_design.h"

namespace {

// Upper limit for all buffers of one converter together. Far above what any
// real format needs (a few MB per channel); it turns absurd channel counts
// into a refused configure instead of an allocation the system may grant
// lazily and then fail on.
constexpr int64_t kMemoryBudgetBytes = int64_t(1) << 30;

bool fitsInt(int64_t value) { return value >= 0 && value <= INT_MAX; }

const char* const kRatesTooLarge =
    "sample rates too large: the converter's "
    "intermediate rate would not fit 32 bits";
const char* const kFilterTooLong = "rate pair not supported: its filters would be too long";
const char* const kTooLarge =
    "rate pair too extreme for this many channels: the converter's buffers "
    "would exceed 1 GiB or 32-bit sizes";
const char* const kRatioTooLarge =
    "rate pair too extreme: the converter's buffers would exceed 1 GiB or "
    "32-bit sizes even for one channel";

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

// The part of a plan that is fixed before either path is worked out.
struct PlanInput {
  int channels;
  int inputRate;
  int outputRate;
  int bytesPerSample;
  int fftBaseLength;
};

ConverterPlan& refuse(ConverterPlan& plan, const char* why) {
  plan.refusal = why;
  return plan;
}

// q makes the reduced factor of the polyphase filter's grid divisible: the
// FFT filter's rate is q times the output (up) or input (down) rate.
int oversamplingFor(int reducedFactor) {
  if (reducedFactor == 1) return 1;
  if (reducedFactor % 2 == 0) return 2;
  if (reducedFactor % 3 == 0) return 3;
  return 0;
}

// The window start of the decimator runs over fftHop + 1 filtered samples,
// and outputs lie fftRate / outputRate (at least 1) of them apart.
int downsamplingBlockOutputFrames(const PlanInput& in, const ConverterPlan& plan) {
  const int64_t windowStarts = int64_t(plan.fftHop) + 1;
  const int64_t spaced = windowStarts * in.outputRate / (int64_t(in.inputRate) * plan.design.oversampling) + 2;
  return int(std::min(spaced, windowStarts));
}

// Every buffer size and the running positions against 32-bit ints and the
// memory budget, for `ch` channels.
bool sizesFit(const PlanInput& in, const ConverterPlan& plan, int64_t ch) {
  const ConverterDesign& d = plan.design;
  const int64_t hop = plan.fftHop;
  const int64_t q = d.oversampling;
  const int64_t fft = d.fftLength;
  const int64_t taps = d.tapsPerPhase;
  const int64_t phases = d.phases;
  const int64_t bytes = in.bytesPerSample;
  SizeBudget budget;
  budget.add(fft / 2, sizeof(double));
  budget.add(int64_t(std::sqrt(double(fft)) + 2.0), sizeof(int));
  budget.add(ch * fft, sizeof(double));     // fftBlock
  budget.add(2 * fft + 4, sizeof(double));  // pairBlock
  budget.add(fft + convolutionFilterSize(int(fft)),
             sizeof(double));  // spectrum and its taps while made
  if (d.upsampling) {
    const int64_t tailFrames = hop / q + 1;
    budget.add(phases * q * 2, sizeof(int));
    budget.add(phases * taps, sizeof(double));
    budget.add(phases, sizeof(double*));
    budget.add(ch * tailFrames, sizeof(double));    // overlapTail
    budget.add((hop + taps) * ch * bytes, 1);       // inputBytes
    budget.add((hop + taps) * ch, sizeof(double));  // inputSamples
    budget.add(tailFrames * ch * bytes, 1);         // outputBytes
    budget.add(tailFrames * ch, sizeof(double));    // outputSamples
    // The interpolator's grid position: at most one row of phases before a
    // block's advance.
    budget.requireInt(hop * (in.inputRate / plan.rateGcd) / q + phases);
  } else {
    const int64_t stagedFrames = hop / q + q + 1;
    // An earlier rule's output size (fftHop * in / out + 1 frames), which no
    // buffer has any more (they hold maxBlockOutputFrames); it still decides
    // which extreme down-sampling pairs are refused (2891053 -> 507 Hz in
    // eight 24-bit channels is), so it stays.
    const double formerOutputFrames = double(hop) * in.inputRate / in.outputRate + 1.0;
    if (formerOutputFrames * ch * bytes > double(INT_MAX)) return false;
    const int64_t blockOutput = plan.maxBlockOutputFrames;
    budget.add(phases * 2, sizeof(int));
    budget.add(phases * taps, sizeof(double));
    budget.add(phases, sizeof(double*));
    budget.add(ch * (taps + hop + 1), sizeof(double));  // polyphaseHistory
    budget.add(ch * stagedFrames * bytes, 1);           // inputBytes
    budget.add(ch * stagedFrames, sizeof(double));      // inputSamples
    budget.add(bytes * ch * blockOutput, 1);            // outputBytes
    budget.add(ch * blockOutput, sizeof(double));       // outputSamples
    // polyphasePosition: at most a block of outputs beyond the window grid.
    const int64_t grid = d.polyphaseRate / d.fftRate;
    const int64_t outputStep = d.polyphaseRate / in.outputRate;
    budget.requireInt((hop + taps + 2) * grid + (blockOutput + 2) * outputStep);
  }
  return budget.fits();
}

ConverterPlan& checkSizes(const PlanInput& in, ConverterPlan& plan) {
  if (sizesFit(in, plan, in.channels)) return plan;
  return refuse(plan, sizesFit(in, plan, 1) ? kTooLarge : kRatioTooLarge);
}

// The polyphase filter of either path, designed at filterRate (the grid of
// both rates) and fed at feedRate: pass band up to the input's Nyquist
// frequency, transition up to half of wideRate (the FFT filter's side).
// False when it would be too long.
bool planPolyphase(const PlanInput& in, int filterRate, int wideRate, int feedRate, ConverterDesign& d) {
  const double transition = double(wideRate / 2 - in.inputRate / 2);
  d.polyphaseRate = filterRate;
  d.polyphaseCutoffHz = in.inputRate / 2 + transition / 2.0;
  d.polyphaseTaps = polyphaseFilterLength(filterRate, transition);
  d.phases = filterRate / feedRate;
  d.polyphaseGain = double(filterRate) / double(feedRate);
  if (d.polyphaseTaps == 0) return false;
  d.tapsPerPhase = d.polyphaseTaps / d.phases + 1;
  return true;
}

// The leading output frames that are the filters' delay.
int upsamplingOutputDelay(const ConverterDesign& d) { return int((d.fftTaps / 2.0) / (d.fftRate / d.outputRate)); }

int downsamplingOutputDelay(const ConverterDesign& d) {
  return int((d.fftTaps / 2.0) / (double(d.fftRate) / d.outputRate) +
             (d.polyphaseTaps / 2.0) / (double(d.polyphaseRate) / d.outputRate));
}

static_assert(kMaxUpsamplingRatio == 8192, "the refusal below names the limit");

ConverterPlan& planUpsampling(const PlanInput& in, ConverterPlan& plan) {
  ConverterDesign& d = plan.design;
  const int q = d.oversampling;
  // At most kMaxUpsamplingRatio samples of the FFT filter's rate per input
  // frame (see the block check below); real pairs stay far below
  // (8000 -> 384000: 48).
  if (int64_t(in.outputRate) * q > int64_t(in.inputRate) * kMaxUpsamplingRatio)
    return refuse(plan,
                  "up-sampling ratio too large: at most 8192 times the "
                  "input rate, counting the oversampling");
  const int64_t lcm = int64_t(in.inputRate / plan.rateGcd) * in.outputRate;
  const int64_t oversampled = int64_t(in.outputRate) * q;
  if (!fitsInt(lcm) || !fitsInt(oversampled)) return refuse(plan, kRatesTooLarge);
  d.fftRate = int(oversampled);

  // Polyphase interpolator from the input rate up to the FFT filter's rate.
  if (!planPolyphase(in, int(lcm), d.fftRate, in.inputRate, d)) return refuse(plan, kFilterTooLong);

  double fftTransition = 0.0;
  d.fftTaps = fftFilterLength(d.fftRate, in.fftBaseLength, d.fftLength, fftTransition);
  if (d.fftTaps == 0) return refuse(plan, kFilterTooLong);
  d.fftCutoffHz = double(in.inputRate / 2);
  // The long filter's transition band (under 100 Hz) is centred on the
  // input's Nyquist frequency. Below 200 Hz of input it can reach down over
  // most of the input's band, where tones would keep part of their images.
  if (fftTransition > in.inputRate / 2.0)
    return refuse(plan,
                  "input rate too low for this up-sampling ratio: the "
                  "long filter would pass less than half "
                  "of the input's band");
  plan.fftHop = d.fftLength / 2;
  // Every stage block must take at least two new input frames. At a ratio
  // beyond that (1 Hz -> 44100 Hz) one frame outlasts a whole block, the
  // driver would meet blocks that read nothing and the stream would stop
  // short: such a pair is refused. With blocks of 16384 or more the ratio
  // limit above already ensures it.
  if (int64_t(plan.fftHop) * in.inputRate < int64_t(d.fftRate) * 2)
    return refuse(plan,
                  "up-sampling ratio too large: one input frame would "
                  "outlast a whole stage block");
  plan.maxBlockOutputFrames = plan.fftHop / q + 1;
  d.outputDelay = upsamplingOutputDelay(d);
  return checkSizes(in, plan);
}

ConverterPlan& planDownsampling(const PlanInput& in, ConverterPlan& plan) {
  ConverterDesign& d = plan.design;
  const int q = d.oversampling;
  const int64_t stuffed = int64_t(in.inputRate) * q;
  const int64_t lcm = int64_t(in.inputRate / plan.rateGcd) * in.outputRate;
  if (!fitsInt(stuffed) || !fitsInt(lcm)) return refuse(plan, kRatesTooLarge);
  d.fftRate = int(stuffed);

  double fftTransition = 0.0;
  d.fftTaps = fftFilterLength(d.fftRate, in.fftBaseLength, d.fftLength, fftTransition);
  if (d.fftTaps == 0) return refuse(plan, kFilterTooLong);
  d.fftCutoffHz = (in.outputRate - fftTransition) / 2.0;
  // The transition band ends at the output's Nyquist frequency. For an
  // output of a few hundred hertz or less it would reach down over most of
  // the output's band, and below the output rate itself the cutoff would be
  // negative (44100 -> 2 Hz): such a pair is refused.
  if (fftTransition > in.outputRate / 4.0)
    return refuse(plan,
                  "output rate too low for this down-sampling ratio: the "
                  "long filter would pass less than half of the output's band");
  plan.fftHop = d.fftLength / 2;

  if (q == 1) {
    // The output rate divides the input rate: keep every (in/out)-th sample.
    d.polyphaseRate = int(lcm);
    d.polyphaseTaps = d.tapsPerPhase = d.phases = 1;
    d.polyphaseGain = 1.0;
  } else {
    // Polyphase decimator from the stuffed rate.
    if (!planPolyphase(in, int(lcm), d.fftRate, d.fftRate, d)) return refuse(plan, kFilterTooLong);
  }
  plan.maxBlockOutputFrames = downsamplingBlockOutputFrames(in, plan);
  d.outputDelay = downsamplingOutputDelay(d);
  return checkSizes(in, plan);
}

}  // namespace

ConverterPlan planConverter(const PcmFormat& input, int outputRate, int fftBaseLength) {
  ConverterPlan plan;
  const int bits = input.bitsPerSample;
  if (input.channels <= 0) return refuse(plan, "the channel count must be 1 or more");
  if (input.sampleRate <= 0 || outputRate <= 0) return refuse(plan, "sample rates must be 1 Hz or more");
  if (bits != 8 && bits != 16 && bits != 24) return refuse(plan, "samples must be 8, 16 or 24 bits wide");
  const PlanInput in{input.channels, input.sampleRate, outputRate, bits / 8, fftBaseLength};
  ConverterDesign& d = plan.design;
  d.inputRate = in.inputRate;
  d.outputRate = in.outputRate;
  d.upsampling = in.inputRate < in.outputRate;
  plan.rateGcd = gcd(in.inputRate, in.outputRate);
  d.oversampling = oversamplingFor(d.upsampling ? in.inputRate / plan.rateGcd : in.outputRate / plan.rateGcd);
  if (d.oversampling == 0)
    return refuse(plan,
                  "rate pair not supported: the lower rate divided by "
                  "the greatest common divisor of the two rates "
                  "must be 1 or divisible by 2 or 3");
  return d.upsampling ? planUpsampling(in, plan) : planDownsampling(in, plan);
}
