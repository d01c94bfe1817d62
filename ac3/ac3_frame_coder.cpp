#include "ac3/ac3_frame_coder.h"

#include <algorithm>
#include <cfloat>
#include <cstring>

#include "ac3/ac3_exponent_strategy.h"
#include "ac3/ac3_rematrix.h"

namespace ac3 {

FrameCoder::FrameCoder(const FrameLayout& layout, int rateShift, int bandwidthCode) {
  syntax.layout = layout;
  syntax.params.fscod = layout.fscod;
  syntax.params.rateShift = rateShift;
  nominalBandwidthCode = bandwidthCode;
  setBandwidth(bandwidthCode);
  availableBits = static_cast<int>(layout.frameBytes * 8);
}

void FrameCoder::planExponents(int ch, const uint8_t (*raw)[kCoefsPerBlock], StrategyChoice choice) {
  ChannelPlan& plan = plans[ch];
  if (choice == kOneSetPerFrame) {
    plan.strategies[0] = kD45;
    for (int b = 1; b < kBlocksPerFrame; ++b) plan.strategies[b] = kReuse;
  } else if (choice == kSearchStrategies) {
    chooseExponentStrategies(raw, end, syntax.params, expectedSnr, plan.strategies);
  }
  for (int start = 0; start < kBlocksPerFrame;) {
    int stop = start + 1;
    while (stop < kBlocksPerFrame && plan.strategies[stop] == kReuse) ++stop;
    // Exponents shared by a run must leave every block's mantissas in range.
    uint8_t wanted[kCoefsPerBlock];
    std::memcpy(wanted, raw[start], sizeof wanted);
    for (int b = start + 1; b < stop; ++b) {
      for (int i = 0; i < kCoefsPerBlock; ++i) wanted[i] = std::min(wanted[i], raw[b][i]);
    }
    codeExponents(wanted, end, plan.strategies[start], plan.coded[start], plan.exps[start]);
    computeMask(plan.exps[start], end, syntax.params, plan.spectra[start]);
    foldPowerRuns(plan.spectra[start], plan.powerRuns[start]);
    for (int b = start; b < stop; ++b) plan.runOf[b] = start;
    start = stop;
  }
}

int FrameCoder::bitsAt(int snrCombined) const {
  const int channels = syntax.layout.channels;
  const int offset = snrOffsetOf(snrCombined);
  BapTally runTallies[kMaxChannels][kBlocksPerFrame] = {};
  for (int ch = 0; ch < channels; ++ch) {
    const ChannelPlan& plan = plans[ch];
    for (int b = 0; b < kBlocksPerFrame; ++b) {
      if (plan.runOf[b] == b) runTallies[ch][b] = tallyBaps(plan.spectra[b], plan.powerRuns[b], offset, syntax.params);
    }
  }
  int bits = 0;
  for (int b = 0; b < kBlocksPerFrame; ++b) {
    BapTally tally = 0;
    for (int ch = 0; ch < channels; ++ch) tally += runTallies[ch][plans[ch].runOf[b]];
    bits += mantissaBits(tally);
  }
  return bits;
}

int FrameCoder::bestSnrOffset(int mantissaBudget) const {
  // Frames of one stream land near each other: bracket the answer from the
  // last frame's offset outwards, then halve the bracket.
  int fits = -1, overflows = 1024;
  int probe = std::min(std::max(expectedSnr, 0), 1023);
  for (int step = 8;; step *= 2) {
    if (bitsAt(probe) <= mantissaBudget) {
      fits = probe;
      if (probe == 1023) return fits;
      probe = std::min(probe + step, 1023);
    } else {
      overflows = probe;
      if (probe == 0) return -1;
      probe = std::max(probe - step, 0);
    }
    if (fits >= 0 && overflows < 1024) break;
  }
  while (overflows - fits > 1) {
    const int middle = (fits + overflows) / 2;
    if (bitsAt(middle) <= mantissaBudget) {
      fits = middle;
    } else {
      overflows = middle;
    }
  }
  return fits;
}

void FrameCoder::fillSyntax() {
  for (int b = 0; b < kBlocksPerFrame; ++b) {
    BlockSyntax& block = syntax.blocks[b];
    for (int ch = 0; ch < syntax.layout.channels; ++ch) {
      block.expStrategy[ch] = plans[ch].strategies[b];
      block.exponents[ch] = &plans[ch].coded[b];
    }
    block.mantissas = &mantissas[b];
  }
}

namespace {

// Two ways to shape the masking curve, both far from the perceptual
// defaults: which one leaves less noise in the waveform depends on the
// music, so each frame takes the better (both are sent in block 0 anyway).
struct CurveCodes {
  int slowDecay, fastDecay, slowGain, dbPerBit, fastGain;
};
constexpr CurveCodes kCurves[] = {{0, 1, 3, 3, 7}, {2, 1, 1, 3, 4}};

void applyCurve(const CurveCodes& curve, BitAllocationParams& params) {
  params.slowDecayCode = curve.slowDecay;
  params.fastDecayCode = curve.fastDecay;
  params.slowGainCode = curve.slowGain;
  params.dbPerBitCode = curve.dbPerBit;
  params.fastGainCode = curve.fastGain;
}

struct PowerOfExponent {
  float factor[kMaxExponent + 1];
  constexpr PowerOfExponent() : factor() {
    float f = 1.0f;
    for (int e = 0; e <= kMaxExponent; ++e, f *= 0.25f) factor[e] = f;
  }
};
constexpr PowerOfExponent kPowerOfExponent;

constexpr int kWidestBandwidthCode = 60;
constexpr int kWidestEnd = 3 * kWidestBandwidthCode + 73;

}  // namespace

void FrameCoder::remask() {
  for (int ch = 0; ch < syntax.layout.channels; ++ch) {
    ChannelPlan& plan = plans[ch];
    for (int b = 0; b < kBlocksPerFrame; ++b) {
      if (plan.runOf[b] == b) computeMaskCurve(syntax.params, plan.spectra[b]);
    }
  }
}

float FrameCoder::noiseAt(float (*coefs)[kBlocksPerFrame][kCoefsPerBlock], int snrCombined) {
  const int offset = snrOffsetOf(snrCombined);
  // Noise power of a mantissa of each bap at exponent 0: a uniform
  // quantizer's step squared over 12.
  float noiseOfBap[16] = {};
  for (int bap = 1; bap < 16; ++bap) {
    const float step = kSymmetricLevels[bap] ? 2.0f / kSymmetricLevels[bap] : 2.0f / static_cast<float>(1 << kMantissaBits[bap]);
    noiseOfBap[bap] = step * step / 12.0f;
  }
  float noise = 0.0f;
  for (int ch = 0; ch < syntax.layout.channels; ++ch) {
    const ChannelPlan& plan = plans[ch];
    for (int b = 0; b < kBlocksPerFrame; ++b) {
      const int run = plan.runOf[b];
      if (run == b) computeBap(plan.spectra[b], offset, syntax.params, baps[ch][b]);
      const uint8_t* bap = baps[ch][run];
      const uint8_t* exps = plan.exps[run];
      const float* c = coefs[ch][b];
      for (int k = 0; k < end; ++k) {
        noise += bap[k] ? noiseOfBap[bap[k]] * kPowerOfExponent.factor[exps[k]] : c[k] * c[k];
      }
    }
  }
  return noise;
}

void FrameCoder::setBandwidth(int code) {
  syntax.bandwidthCode = code;
  end = 3 * code + 73;
}

int FrameCoder::chooseAllocation(float (*coefs)[kBlocksPerFrame][kCoefsPerBlock], float& noise, int onlyCurve) {
  const int budget = availableBits - frameSideBits(syntax);
  int bestSnr = -1, bestCurve = -1;
  float bestNoise = 0.0f;
  const int first = onlyCurve < 0 ? 0 : onlyCurve;
  const int last = onlyCurve < 0 ? static_cast<int>(sizeof kCurves / sizeof kCurves[0]) - 1 : onlyCurve;
  for (int c = first; c <= last; ++c) {
    applyCurve(kCurves[c], syntax.params);
    remask();
    const int snr = bestSnrOffset(budget);
    if (snr < 0) continue;
    const float noise = noiseAt(coefs, snr);
    if (bestCurve < 0 || noise < bestNoise) bestSnr = snr, bestCurve = c, bestNoise = noise;
  }
  chosenCurve = bestCurve < 0 ? first : bestCurve;
  applyCurve(kCurves[chosenCurve], syntax.params);
  if (chosenCurve != last) remask();
  noise = bestNoise;
  return bestSnr;
}

int FrameCoder::allocate(float (*coefs)[kBlocksPerFrame][kCoefsPerBlock],
                         const uint8_t (*raw)[kBlocksPerFrame][kCoefsPerBlock], float& noise, int onlyCurve) {
  const int channels = syntax.layout.channels;
  for (int ch = 0; ch < channels; ++ch) planExponents(ch, raw[ch], onlyCurve < 0 ? kSearchStrategies : kKeepStrategies);
  fillSyntax();
  const int snr = chooseAllocation(coefs, noise, onlyCurve);
  if (snr >= 0) return snr;
  noise = FLT_MAX;
  for (int ch = 0; ch < channels; ++ch) planExponents(ch, raw[ch], kOneSetPerFrame);
  fillSyntax();
  return std::max(bestSnrOffset(availableBits - frameSideBits(syntax)), 0);
}

float FrameCoder::energyFrom(float (*coefs)[kBlocksPerFrame][kCoefsPerBlock], int from) const {
  float energy = 0.0f;
  for (int ch = 0; ch < syntax.layout.channels; ++ch) {
    for (int b = 0; b < kBlocksPerFrame; ++b) {
      for (int k = from; k < kWidestEnd; ++k) energy += coefs[ch][b][k] * coefs[ch][b][k];
    }
  }
  return energy;
}

void FrameCoder::code(float (*coefs)[kBlocksPerFrame][kCoefsPerBlock], uint8_t* out) {
  const int channels = syntax.layout.channels;
  setBandwidth(nominalBandwidthCode);
  if (channels == 2) {
    for (int b = 0; b < kBlocksPerFrame; ++b) {
      BlockSyntax& block = syntax.blocks[b];
      bool flags[kRematrixBands];
      rematrixBlock(coefs[0][b], coefs[1][b], end, flags);
      // Ready for a wider bandwidth: the decoder applies the flags up to it.
      rematrixRange(coefs[0][b], coefs[1][b], end, kWidestEnd, flags);
      // Flags carry over from the block before unless they change.
      block.rematrixStrategy = b == 0 || !std::equal(flags, flags + kRematrixBands, syntax.blocks[b - 1].rematrixFlags);
      std::copy(flags, flags + kRematrixBands, block.rematrixFlags);
    }
  }
  uint8_t raw[kMaxChannels][kBlocksPerFrame][kCoefsPerBlock];
  for (int ch = 0; ch < channels; ++ch) {
    for (int b = 0; b < kBlocksPerFrame; ++b) extractExponents(coefs[ch][b], kCoefsPerBlock, raw[ch][b]);
  }
  float noise = 0.0f;
  int snr = allocate(coefs, raw, noise);
  // Coefficients beyond the bandwidth are lost whole. A frame that loses
  // clearly more there than to quantization (an onset's or a click's wide
  // spectrum) tries the widest bandwidth under the same masking curve and
  // keeps whichever leaves less noise.
  const float dropped = energyFrom(coefs, end);
  if (nominalBandwidthCode < kWidestBandwidthCode && dropped > 2.0f * noise) {
    std::copy(plans, plans + channels, savedPlans);
    const FrameSyntax savedSyntax = syntax;
    setBandwidth(kWidestBandwidthCode);
    float wideNoise = 0.0f;
    const int wideSnr = allocate(coefs, raw, wideNoise, chosenCurve);
    if (wideNoise < noise + dropped) {
      snr = wideSnr;
    } else {
      std::copy(savedPlans, savedPlans + channels, plans);
      syntax = savedSyntax;
      end = 3 * syntax.bandwidthCode + 73;
    }
  }
  syntax.snrCombined = snr;
  expectedSnr = snr;

  const int offset = snrOffsetOf(snr);
  for (int ch = 0; ch < channels; ++ch) {
    for (int b = 0; b < kBlocksPerFrame; ++b) {
      if (plans[ch].runOf[b] == b) computeBap(plans[ch].spectra[b], offset, syntax.params, baps[ch][b]);
    }
  }
  for (int b = 0; b < kBlocksPerFrame; ++b) {
    ChannelSpectrum spectra[kMaxChannels];
    for (int ch = 0; ch < channels; ++ch) {
      const int run = plans[ch].runOf[b];
      spectra[ch] = ChannelSpectrum{coefs[ch][b], plans[ch].exps[run], baps[ch][run], end};
    }
    quantizeBlock(spectra, channels, mantissas[b]);
  }
  writeFrame(syntax, out);
}

}  // namespace ac3
