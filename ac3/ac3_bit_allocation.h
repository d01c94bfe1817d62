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
// The band powers depend on the exponents alone, the mask also on the
// curve's codes, so trying another curve redoes only the mask.
struct MaskedSpectrum {
  int16_t psd[kCoefsPerBlock];
  int16_t bandPsd[kBandCount];
  int16_t mask[kBandCount];
  int end = 0;
};

void computeBandPsd(const uint8_t* exps, int end, MaskedSpectrum& out);
void computeMaskCurve(const BitAllocationParams& params, MaskedSpectrum& out);
void computeMask(const uint8_t* exps, int end, const BitAllocationParams& params, MaskedSpectrum& out);

// The offset the decoder derives from csnroffst * 16 + fsnroffst (0..1023).
inline int snrOffsetOf(int combined) { return (combined - 240) * 4; }

// What a bap address is measured from in each band: the address of a
// coefficient is its power's step above the band's threshold.
int bandThreshold(int mask, int snrOffset, int floor);
// The lowest SNR offset (coarse and fine codes both 0) is no bit
// allocation at all: decoders give every coefficient bap 0 then, whatever
// the masks, so the encoder must too.
constexpr int kNoMantissasOffset = -960;

inline int bapAddressOf(int psd, int threshold) {
  const int address = (psd - threshold) >> 5;
  return address < 0 ? 0 : address > 63 ? 63 : address;
}

void computeBap(const MaskedSpectrum& spectrum, int snrOffset, const BitAllocationParams& params, uint8_t* bap);

// A spectrum's coefficients folded into runs of equal power within a band:
// every coefficient of a run gets the same bap, so counting them for many
// SNR offsets takes one step per run instead of one per coefficient.
struct PowerRuns {
  int16_t psd[kCoefsPerBlock];
  uint8_t length[kCoefsPerBlock];
  int16_t bandFirst[kBandCount + 1];  // the band's first run
  int bandEnd = 0;
};

void foldPowerRuns(const MaskedSpectrum& spectrum, PowerRuns& out);

// What a block's mantissas cost, without storing the baps: the bits of the
// quantizers sent alone, and how many coefficients each grouped quantizer
// (baps 1, 2 and 4) takes, 16 bits each in one word, so that adding up
// spectra and channels is one addition.
using BapTally = uint64_t;

BapTally tallyBaps(const MaskedSpectrum& spectrum, const PowerRuns& runs, int snrOffset,
                   const BitAllocationParams& params);

// Mantissa bits of one block from the tally of all its channels (the
// grouped quantizers pack three, three and two values across channels).
int mantissaBits(BapTally tally);

}  // namespace ac3
