#include "ac3/ac3_exponent_strategy.h"

#include <algorithm>

namespace ac3 {

namespace {

// Mantissa cost in sixths of a bit: grouped quantizers share their code.
constexpr int kSixthsOfBap[16] = {0, 10, 14, 18, 21, 24, 30, 36, 42, 48, 54, 60, 66, 72, 84, 96};

// The same by bap address, so pricing a coefficient takes one look-up.
struct SixthsOfAddress {
  uint8_t entry[64];
  SixthsOfAddress() : entry() {
    for (int a = 0; a < 64; ++a) entry[a] = static_cast<uint8_t>(kSixthsOfBap[kBapOfAddress[a]]);
  }
};
const SixthsOfAddress kSixthsOfAddress;

// Exponents of blocks [0, b) summed per coefficient: a run's total is the
// difference of two rows.
struct ExponentSums {
  uint16_t upTo[kBlocksPerFrame + 1][kCoefsPerBlock];
};

void sumExponents(const uint8_t (*exps)[kCoefsPerBlock], int end, ExponentSums& sums) {
  std::fill(sums.upTo[0], sums.upTo[0] + end, uint16_t{0});
  for (int b = 0; b < kBlocksPerFrame; ++b) {
    for (int k = 0; k < end; ++k) sums.upTo[b + 1][k] = static_cast<uint16_t>(sums.upTo[b][k] + exps[b][k]);
  }
}

// Sixths of a bit to send one exponent set and code blocks [first, last)
// with it. A coefficient whose block's own exponent is d above the shared one
// gets the same bits but noise 6d dB higher relative to itself; it is charged
// the d bits that would buy that back, so plans compare at equal quality.
int runCost(const ExponentSums& sums, int first, int last, const uint8_t* wanted, int end, ExponentStrategy strategy,
            const BitAllocationParams& params, int snrOffset) {
  uint8_t decoded[kCoefsPerBlock];
  decodedExponents(wanted, end, strategy, decoded);
  MaskedSpectrum spectrum;
  computeMask(decoded, end, params, spectrum);
  const int floor = kFloor[params.floorCode];
  const int blocks = last - first;
  int mantissa = 0;
  int lostSteps = 0;
  int bin = 0;
  for (int band = 0; bin < end; ++band) {
    const int threshold = bandThreshold(spectrum.mask[band], snrOffset, floor);
    const int bandEnd = std::min<int>(kBandStart[band + 1], end);
    for (; bin < bandEnd; ++bin) {
      // Only address 0 gets no bits; no branch, as it is hard to predict.
      const int address = bapAddressOf(spectrum.psd[bin], threshold);
      mantissa += kSixthsOfAddress.entry[address];
      const int lost = sums.upTo[last][bin] - sums.upTo[first][bin] - blocks * decoded[bin];
      lostSteps += address > 0 ? lost : 0;
    }
  }
  return 6 * newExponentBits(strategy, end) + blocks * mantissa + 6 * lostSteps;
}

}  // namespace

void chooseExponentStrategies(const uint8_t (*exps)[kCoefsPerBlock], int end, const BitAllocationParams& params,
                              int expectedSnrCombined, ExponentStrategy* strategies) {
  const int snrOffset = snrOffsetOf(expectedSnrCombined);
  ExponentSums sums;
  sumExponents(exps, end, sums);
  // best[j]: cheapest plan for blocks [0, j) at full resolution; each run
  // is a block sending exponents and the blocks after it reusing them (at
  // their minimum, so every block's mantissas stay in range).
  int best[kBlocksPerFrame + 1];
  int runStartOf[kBlocksPerFrame + 1];
  uint8_t wanted[kBlocksPerFrame][kBlocksPerFrame + 1][kCoefsPerBlock];
  int runCostOf[kBlocksPerFrame + 1][kBlocksPerFrame + 1] = {};
  best[0] = 0;
  for (int j = 1; j <= kBlocksPerFrame; ++j) best[j] = -1;
  for (int i = 0; i < kBlocksPerFrame; ++i) {
    std::copy(exps[i], exps[i] + kCoefsPerBlock, wanted[i][i + 1]);
    runCostOf[i][i + 1] = runCost(sums, i, i + 1, wanted[i][i + 1], end, kD15, params, snrOffset);
  }
  for (int i = 0; i < kBlocksPerFrame; ++i) {
    for (int j = i + 1; j <= kBlocksPerFrame; ++j) {
      if (j > i + 1) {
        for (int k = 0; k < kCoefsPerBlock; ++k) wanted[i][j][k] = std::min(wanted[i][j - 1][k], exps[j - 1][k]);
      }
      const int runOnly = j == i + 1 ? runCostOf[i][j] : runCost(sums, i, j, wanted[i][j], end, kD15, params, snrOffset);
      const int cost = best[i] + runOnly;
      if (best[j] < 0 || cost < best[j]) {
        best[j] = cost;
        runStartOf[j] = i;
      }
      // A run that already costs more than ending a block earlier and
      // starting anew will not pay off by growing further.
      if (j > i + 1 && runOnly > runCostOf[i][j - 1] + runCostOf[j - 1][j]) break;
      runCostOf[i][j] = runOnly;
    }
  }
  // Then each chosen run takes the resolution that costs it least.
  for (int j = kBlocksPerFrame; j > 0;) {
    const int i = runStartOf[j];
    ExponentStrategy pick = kD15;
    int pickCost = best[j] - best[i];
    for (ExponentStrategy s : {kD25, kD45}) {
      const int cost = runCost(sums, i, j, wanted[i][j], end, s, params, snrOffset);
      if (cost < pickCost) pick = s, pickCost = cost;
    }
    strategies[i] = pick;
    for (int b = i + 1; b < j; ++b) strategies[b] = kReuse;
    j = i;
  }
}

}  // namespace ac3
