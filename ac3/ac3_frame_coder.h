#pragma once
// Codes six blocks of transform coefficients into one sync frame: stereo
// rematrixing, exponent strategies, the SNR offset that fills the frame, and
// the mantissas.
#include <cstdint>

#include "ac3/ac3_frame.h"

namespace ac3 {

class FrameCoder {
 public:
  FrameCoder(const FrameLayout& layout, int rateShift, int bandwidthCode);

  // coefs[ch][block] holds 256 coefficients of channel ch; they are
  // rewritten (rematrixed). `out` receives layout.frameBytes bytes.
  void code(float (*coefs)[kBlocksPerFrame][kCoefsPerBlock], uint8_t* out);

 private:
  struct ChannelPlan {
    ExponentStrategy strategies[kBlocksPerFrame];
    CodedExponents coded[kBlocksPerFrame];
    uint8_t exps[kBlocksPerFrame][kCoefsPerBlock];     // as decoded, per run start
    MaskedSpectrum spectra[kBlocksPerFrame];           // per run start
    PowerRuns powerRuns[kBlocksPerFrame];              // per run start
    int runOf[kBlocksPerFrame];                        // block -> its run's first block
  };

  enum StrategyChoice { kSearchStrategies, kOneSetPerFrame, kKeepStrategies };
  void planExponents(int ch, const uint8_t (*raw)[kCoefsPerBlock], StrategyChoice choice);
  int bitsAt(int snrCombined) const;
  int bestSnrOffset(int mantissaBudget) const;
  void fillSyntax();
  // Masks of every run under the current bit allocation codes.
  void remask();
  // Expected noise power of the frame's coefficients at an SNR offset
  // (fills the baps of every run on the way).
  float noiseAt(float (*coefs)[kBlocksPerFrame][kCoefsPerBlock], int snrCombined);
  // Picks the masking curve (any, or only `onlyCurve` when not -1) and the
  // SNR offset that leave the least noise (stored in `noise`); -1 when no
  // offset fits the frame.
  int chooseAllocation(float (*coefs)[kBlocksPerFrame][kCoefsPerBlock], float& noise, int onlyCurve);
  void setBandwidth(int code);
  // Exponent plans, curve and SNR offset at the current bandwidth; `noise`
  // as chooseAllocation() leaves it, or the largest float when even one
  // exponent set per frame is needed. With `onlyCurve` set, the curve and
  // the exponent strategies stay as they are.
  int allocate(float (*coefs)[kBlocksPerFrame][kCoefsPerBlock], const uint8_t (*raw)[kBlocksPerFrame][kCoefsPerBlock],
               float& noise, int onlyCurve = -1);
  // Energy of the coefficients from `from` up to the widest bandwidth.
  float energyFrom(float (*coefs)[kBlocksPerFrame][kCoefsPerBlock], int from) const;

  FrameSyntax syntax;
  int nominalBandwidthCode;
  int end;
  int availableBits;
  // The last frame's SNR offset: what the next frame's exponent plans are
  // priced at.
  int expectedSnr = 480;
  int chosenCurve = 0;
  ChannelPlan plans[kMaxChannels];
  // The plans at the nominal bandwidth while a wider one is tried.
  ChannelPlan savedPlans[kMaxChannels];
  uint8_t baps[kMaxChannels][kBlocksPerFrame][kCoefsPerBlock];
  BlockMantissas mantissas[kBlocksPerFrame];
};

}  // namespace ac3
