#include "ac3/ac3_bit_allocation.h"

#include <algorithm>

namespace ac3 {

namespace {

// Power addition of two levels, max(a, b) + kLogAdd[min(|a - b| / 2, 255)],
// tabulated over a - b: it is then one look-up and one addition, which
// matters since each band's sum is a chain of them. Band sums start at a
// level in [0, 3072] and each addition raises them by at most 64, over at
// most 23 additions; the levels added lie in [0, 3072].
constexpr int kLowestDifference = -3072;
constexpr int kHighestDifference = 3072 + 23 * 64;

struct LogAddByDifference {
  int16_t entry[kHighestDifference - kLowestDifference + 1];
  LogAddByDifference() : entry() {
    for (int d = kLowestDifference; d <= kHighestDifference; ++d) {
      const int magnitude = d < 0 ? -d : d;
      entry[d - kLowestDifference] = static_cast<int16_t>(std::max(d, 0) + kLogAdd[std::min(magnitude >> 1, 255)]);
    }
  }
};
const LogAddByDifference kLogAddByDifference;

int logAdd(int a, int b) { return b + kLogAddByDifference.entry[a - b - kLowestDifference]; }

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

// The first bands hold one coefficient each: their power is the
// coefficient's own.
constexpr int kSingleBins = 28;

// Integrates `Count` neighbouring bands of `width` coefficients from
// `first` on side by side: each band is a chain of dependent steps, and
// independent chains overlap in the processor.
template <int Count>
void integrateTogether(const int16_t* psd, int first, int width, int16_t* bandPsd) {
  int value[Count];
  for (int i = 0; i < Count; ++i) value[i] = psd[first + i * width];
  for (int k = 1; k < width; ++k) {
    for (int i = 0; i < Count; ++i) value[i] = logAdd(value[i], psd[first + i * width + k]);
  }
  for (int i = 0; i < Count; ++i) bandPsd[i] = static_cast<int16_t>(value[i]);
}

int widthOf(int band) { return kBandStart[band + 1] - kBandStart[band]; }

void integrateBands(const int16_t* psd, int end, int16_t* bandPsd) {
  const int singles = std::min(end, kSingleBins);
  std::copy(psd, psd + singles, bandPsd);
  for (int band = kSingleBins; end > kBandStart[band];) {
    const int width = widthOf(band);
    int count = 0;
    while (count < 4 && band + count < kBandCount && widthOf(band + count) == width &&
           kBandStart[band + count + 1] <= end) {
      ++count;
    }
    const int first = kBandStart[band];
    switch (count) {
      case 0: {
        // The last band, cut short by the end.
        int value = psd[first];
        for (int bin = first + 1; bin < end; ++bin) value = logAdd(value, psd[bin]);
        bandPsd[band] = static_cast<int16_t>(value);
        return;
      }
      case 1:
        integrateTogether<1>(psd, first, width, bandPsd + band);
        break;
      case 2:
        integrateTogether<2>(psd, first, width, bandPsd + band);
        break;
      case 3:
        integrateTogether<3>(psd, first, width, bandPsd + band);
        break;
      default:
        integrateTogether<4>(psd, first, width, bandPsd + band);
        break;
    }
    band += count;
  }
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

int bandEndOf(int end) { return kBandOfBin[end - 1] + 1; }

}  // namespace

void computeBandPsd(const uint8_t* exps, int end, MaskedSpectrum& out) {
  out.end = end;
  for (int bin = 0; bin < end; ++bin) out.psd[bin] = static_cast<int16_t>(3072 - (exps[bin] << 7));
  // The band after the last stays zero: the excitation looks one band ahead.
  std::fill(out.bandPsd, out.bandPsd + kBandCount, int16_t{0});
  integrateBands(out.psd, end, out.bandPsd);
}

void computeMaskCurve(const BitAllocationParams& params, MaskedSpectrum& out) {
  const int bandEnd = bandEndOf(out.end);
  int excite[kBandCount];
  computeExcitation(out.bandPsd, bandEnd, params, excite);
  const int dbPerBit = kDbPerBit[params.dbPerBitCode];
  for (int band = 0; band < bandEnd; ++band) {
    const int knee = dbPerBit - out.bandPsd[band];
    if (knee > 0) excite[band] += knee >> 2;
    const int threshold = kHearingThreshold[band >> params.rateShift][params.fscod];
    out.mask[band] = static_cast<int16_t>(std::max(threshold, excite[band]));
  }
}

void computeMask(const uint8_t* exps, int end, const BitAllocationParams& params, MaskedSpectrum& out) {
  computeBandPsd(exps, end, out);
  computeMaskCurve(params, out);
}

int bandThreshold(int mask, int snrOffset, int floor) {
  return (std::max(mask - snrOffset - floor, 0) & 0x1fe0) + floor;
}

void computeBap(const MaskedSpectrum& spectrum, int snrOffset, const BitAllocationParams& params, uint8_t* bap) {
  if (snrOffset == kNoMantissasOffset) {
    std::fill(bap, bap + kCoefsPerBlock, uint8_t{0});
    return;
  }
  const int floor = kFloor[params.floorCode];
  int bin = 0;
  for (int band = 0; bin < spectrum.end; ++band) {
    const int threshold = bandThreshold(spectrum.mask[band], snrOffset, floor);
    const int bandEnd = std::min<int>(kBandStart[band + 1], spectrum.end);
    for (; bin < bandEnd; ++bin) bap[bin] = kBapOfAddress[bapAddressOf(spectrum.psd[bin], threshold)];
  }
  for (; bin < kCoefsPerBlock; ++bin) bap[bin] = 0;
}

void foldPowerRuns(const MaskedSpectrum& spectrum, PowerRuns& out) {
  int runs = 0;
  int bin = 0;
  int band = 0;
  for (; bin < spectrum.end; ++band) {
    out.bandFirst[band] = static_cast<int16_t>(runs);
    const int bandEnd = std::min<int>(kBandStart[band + 1], spectrum.end);
    while (bin < bandEnd) {
      const int16_t psd = spectrum.psd[bin];
      int length = 1;
      while (++bin < bandEnd && spectrum.psd[bin] == psd) ++length;
      out.psd[runs] = psd;
      out.length[runs++] = static_cast<uint8_t>(length);
    }
  }
  out.bandFirst[band] = static_cast<int16_t>(runs);
  out.bandEnd = band;
}

namespace {

// A coefficient's share of a tally at each bap address.
struct TallyOfAddress {
  BapTally entry[64];
  TallyOfAddress() : entry() {
    for (int a = 0; a < 64; ++a) {
      const int bap = kBapOfAddress[a];
      entry[a] = kMantissaBits[bap];
      if (bap == 1) entry[a] |= BapTally{1} << 16;
      if (bap == 2) entry[a] |= BapTally{1} << 32;
      if (bap == 4) entry[a] |= BapTally{1} << 48;
    }
  }
};
const TallyOfAddress kTallyOfAddress;

}  // namespace

BapTally tallyBaps(const MaskedSpectrum& spectrum, const PowerRuns& runs, int snrOffset,
                   const BitAllocationParams& params) {
  if (snrOffset == kNoMantissasOffset) return 0;
  const int floor = kFloor[params.floorCode];
  BapTally tally = 0;
  for (int band = 0; band < runs.bandEnd; ++band) {
    const int threshold = bandThreshold(spectrum.mask[band], snrOffset, floor);
    for (int r = runs.bandFirst[band]; r < runs.bandFirst[band + 1]; ++r) {
      tally += runs.length[r] * kTallyOfAddress.entry[bapAddressOf(runs.psd[r], threshold)];
    }
  }
  return tally;
}

int mantissaBits(BapTally tally) {
  const int alone = static_cast<int>(tally & 0xffff);
  const int threes = static_cast<int>((tally >> 16) & 0xffff);
  const int fives = static_cast<int>((tally >> 32) & 0xffff);
  const int elevens = static_cast<int>(tally >> 48);
  return alone + 5 * ((threes + 2) / 3) + 7 * ((fives + 2) / 3) + 7 * ((elevens + 1) / 2);
}

}  // namespace ac3
