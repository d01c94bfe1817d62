#include "ac3/ac3_bit_allocation.h"

#include <algorithm>

namespace ac3 {

namespace {

int logAdd(int a, int b) {
  const int diff = a > b ? a - b : b - a;
  const int address = std::min(diff >> 1, 255);
  return std::max(a, b) + kLogAdd[address];
}

// Low-frequency compensation: a steep rise between neighbouring bands
// lowers the mask; it decays away otherwise.
int lowComp(int lowcomp, int psd0, int psd1, int boost) {
  if (psd0 + 256 == psd1) return boost;
  if (psd0 > psd1) return std::max(lowcomp - 64, 0);
  return lowcomp;
}

int lowCompOfBand(int lowcomp, int psd0, int psd1, int band) {
  if (band < 7) return lowComp(lowcomp, psd0, psd1, 384);
  if (band < 20) return lowComp(lowcomp, psd0, psd1, 320);
  return std::max(lowcomp - 128, 0);
}

void integrateBands(const int16_t* psd, int end, int16_t* bandPsd) {
  int bin = 0;
  int band = 0;
  do {
    const int bandEnd = std::min<int>(kBandStart[band + 1], end);
    int value = psd[bin++];
    for (; bin < bandEnd; ++bin) value = logAdd(value, psd[bin]);
    bandPsd[band++] = static_cast<int16_t>(value);
  } while (end > kBandStart[band]);
}

void computeExcitation(const int16_t* bandPsd, int bandEnd, const BitAllocationParams& p, int* excite) {
  const int fastGain = kFastGain[p.fastGainCode];
  const int slowGain = kSlowGain[p.slowGainCode];
  const int fastDecay = kFastDecay[p.fastDecayCode] >> p.rateShift;
  const int slowDecay = kSlowDecay[p.slowDecayCode] >> p.rateShift;
  int lowcomp = lowComp(0, bandPsd[0], bandPsd[1], 384);
  excite[0] = bandPsd[0] - fastGain - lowcomp;
  lowcomp = lowComp(lowcomp, bandPsd[1], bandPsd[2], 384);
  excite[1] = bandPsd[1] - fastGain - lowcomp;
  int begin = 7;
  int fastLeak = 0, slowLeak = 0;
  for (int band = 2; band < 7; ++band) {
    lowcomp = lowComp(lowcomp, bandPsd[band], bandPsd[band + 1], 384);
    fastLeak = bandPsd[band] - fastGain;
    slowLeak = bandPsd[band] - slowGain;
    excite[band] = fastLeak - lowcomp;
    if (bandPsd[band] <= bandPsd[band + 1]) {
      begin = band + 1;
      break;
    }
  }
  const int lowEnd = std::min(bandEnd, 22);
  for (int band = begin; band < lowEnd; ++band) {
    lowcomp = lowCompOfBand(lowcomp, bandPsd[band], bandPsd[band + 1], band);
    fastLeak = std::max(fastLeak - fastDecay, bandPsd[band] - fastGain);
    slowLeak = std::max(slowLeak - slowDecay, bandPsd[band] - slowGain);
    excite[band] = std::max(fastLeak - lowcomp, slowLeak);
  }
  for (int band = 22; band < bandEnd; ++band) {
    fastLeak = std::max(fastLeak - fastDecay, bandPsd[band] - fastGain);
    slowLeak = std::max(slowLeak - slowDecay, bandPsd[band] - slowGain);
    excite[band] = std::max(fastLeak, slowLeak);
  }
}

// The per-band threshold the baps are measured against.
int bandThreshold(int mask, int snrOffset, int floor) {
  return (std::max(mask - snrOffset - floor, 0) & 0x1fe0) + floor;
}

int addressOf(int psd, int threshold) {
  const int address = (psd - threshold) >> 5;
  return address < 0 ? 0 : address > 63 ? 63 : address;
}

}  // namespace

void computeMask(const uint8_t* exps, int end, const BitAllocationParams& params, MaskedSpectrum& out) {
  out.end = end;
  for (int bin = 0; bin < end; ++bin) out.psd[bin] = static_cast<int16_t>(3072 - (exps[bin] << 7));
  int16_t bandPsd[kBandCount + 1] = {};
  integrateBands(out.psd, end, bandPsd);
  const int bandEnd = kBandOfBin[end - 1] + 1;
  int excite[kBandCount];
  computeExcitation(bandPsd, bandEnd, params, excite);
  const int dbPerBit = kDbPerBit[params.dbPerBitCode];
  for (int band = 0; band < bandEnd; ++band) {
    const int knee = dbPerBit - bandPsd[band];
    if (knee > 0) excite[band] += knee >> 2;
    const int threshold = kHearingThreshold[band >> params.rateShift][params.fscod];
    out.mask[band] = static_cast<int16_t>(std::max(threshold, excite[band]));
  }
}

void computeBap(const MaskedSpectrum& spectrum, int snrOffset, const BitAllocationParams& params, uint8_t* bap) {
  const int floor = kFloor[params.floorCode];
  int bin = 0;
  for (int band = 0; bin < spectrum.end; ++band) {
    const int threshold = bandThreshold(spectrum.mask[band], snrOffset, floor);
    const int bandEnd = std::min<int>(kBandStart[band + 1], spectrum.end);
    for (; bin < bandEnd; ++bin) bap[bin] = kBapOfAddress[addressOf(spectrum.psd[bin], threshold)];
  }
  for (; bin < kCoefsPerBlock; ++bin) bap[bin] = 0;
}

void countBaps(const MaskedSpectrum& spectrum, int snrOffset, const BitAllocationParams& params, uint16_t* counts) {
  const int floor = kFloor[params.floorCode];
  int bin = 0;
  for (int band = 0; bin < spectrum.end; ++band) {
    const int threshold = bandThreshold(spectrum.mask[band], snrOffset, floor);
    const int bandEnd = std::min<int>(kBandStart[band + 1], spectrum.end);
    for (; bin < bandEnd; ++bin) ++counts[kBapOfAddress[addressOf(spectrum.psd[bin], threshold)]];
  }
}

int mantissaBits(const uint16_t* counts) {
  int bits = 5 * ((counts[1] + 2) / 3) + 7 * ((counts[2] + 2) / 3) + 7 * ((counts[4] + 1) / 2);
  for (int bap = 3; bap < 16; ++bap) bits += counts[bap] * kMantissaBits[bap];
  return bits;
}

}  // namespace ac3
