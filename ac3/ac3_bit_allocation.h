#pragma once
// The parametric bit allocation, computed exactly as the decoder does: from
// the exponents a masking curve per band, then from the curve and the SNR
// offset a bit allocation pointer (bap) per coefficient.
#include <cstdint>

#include "ac3/ac3_tables.h"

namespace ac3 {

// Codes sent in block 0 and the stream's rate; the decays follow the
// reduced-rate shift as in the decoder. The codes keep the masking curve
// far below loud bands and raise it over quiet ones (the largest knee): the
// noise then stays closer to flat, which is what the decoded waveform's
// signal-to-noise ratio rewards.
struct BitAllocationParams {
  int slowDecayCode = 0;
  int fastDecayCode = 1;
  int slowGainCode = 3;
  int dbPerBitCode = 3;
  int floorCode = 7;
  int fastGainCode = 7;
  int fscod = 0;
  int rateShift = 0;  // bsid - 8
};

// What the bit allocation needs of one exponent set: it does not depend on
// the SNR offset, so a frame computes it once per set and then searches.
struct MaskedSpectrum {
  int16_t psd[kCoefsPerBlock];
  int16_t mask[kBandCount];
  int end = 0;
};

void computeMask(const uint8_t* exps, int end, const BitAllocationParams& params, MaskedSpectrum& out);

// The offset the decoder derives from csnroffst * 16 + fsnroffst (0..1023).
inline int snrOffsetOf(int combined) { return (combined - 240) * 4; }

void computeBap(const MaskedSpectrum& spectrum, int snrOffset, const BitAllocationParams& params, uint8_t* bap);

// How many coefficients get each bap, without storing the baps.
void countBaps(const MaskedSpectrum& spectrum, int snrOffset, const BitAllocationParams& params,
               uint16_t* counts /* [16] */);

// Mantissa bits of one block from the bap counts of all its channels (the
// grouped quantizers pack three, three and two values across channels).
int mantissaBits(const uint16_t* counts);

}  // namespace ac3
