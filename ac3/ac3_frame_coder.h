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

  void planExponents(int ch, const uint8_t (*raw)[kCoefsPerBlock], bool oneSetPerFrame);
  int bitsAt(int snrCombined) const;
  int bestSnrOffset(int mantissaBudget) const;
  void fillSyntax();
  // Masks of every run under the current bit allocation codes.
  void remask();
  // Expected noise power of the frame's coefficients at an SNR offset
  // (fills the baps of every run on the way).
  float noiseAt(float (*coefs)[kBlocksPerFrame][kCoefsPerBlock], int snrCombined);
  // Picks the masking curve and SNR offset that leave the least noise;
  // -1 when no offset fits the frame.
  int chooseAllocation(float (*coefs)[kBlocksPerFrame][kCoefsPerBlock]);

  FrameSyntax syntax;
  int end;
  int availableBits;
  // The last frame's SNR offset: what the next frame's exponent plans are
  // priced at.
  int expectedSnr = 480;
  ChannelPlan plans[kMaxChannels];
  uint8_t baps[kMaxChannels][kBlocksPerFrame][kCoefsPerBlock];
  BlockMantissas mantissas[kBlocksPerFrame];
};

}  // namespace ac3
