#include "ac3/ac3_exponent_strategy.h"

#include <algorithm>

namespace ac3 {

namespace {

// Mantissa cost in sixths of a bit: grouped quantizers share their code.
constexpr int kSixthsOfBap[16] = {0, 10, 14, 18, 21, 24, 30, 36, 42, 48, 54, 60, 66, 72, 84, 96};

// Sixths of a bit to send one exponent set and code blocks [first, last)
// with it. A coefficient whose block's own exponent is d above the shared one
// gets the same bits but noise 6d dB higher relative to itself; it is charged
// the d bits that would buy that back, so plans compare at equal quality.
int runCost(const uint8_t (*exps)[kCoefsPerBlock], int first, int last, const uint8_t* wanted, int end,
            ExponentStrategy strategy, const BitAllocationParams& params, int snrOffset) {
  CodedExponents coded;
  uint8_t decoded[kCoefsPerBlock];
  codeExponents(wanted, end, strategy, coded, decoded);
  MaskedSpectrum spectrum;
  computeMask(decoded, end, params, spectrum);
  uint8_t bap[kCoefsPerBlock];
  computeBap(spectrum, snrOffset, params, bap);
  int mantissa = 0;
  int lostSteps = 0;
  for (int k = 0; k < end; ++k) {
    if (bap[k] == 0) continue;
    mantissa += kSixthsOfBap[bap[k]];
    for (int b = first; b < last; ++b) lostSteps += exps[b][k] - decoded[k];
  }
  return 6 * newExponentBits(strategy, end) + (last - first) * mantissa + 6 * lostSteps;
}

}  // namespace

void chooseExponentStrategies(const uint8_t (*exps)[kCoefsPerBlock], int end, const BitAllocationParams& params,
                              int expectedSnrCombined, ExponentStrategy* strategies) {
  const int snrOffset = snrOffsetOf(expectedSnrCombined);
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
    runCostOf[i][i + 1] = runCost(exps, i, i + 1, wanted[i][i + 1], end, kD15, params, snrOffset);
  }
  for (int i = 0; i < kBlocksPerFrame; ++i) {
    for (int j = i + 1; j <= kBlocksPerFrame; ++j) {
      if (j > i + 1) {
        for (int k = 0; k < kCoefsPerBlock; ++k) wanted[i][j][k] = std::min(wanted[i][j - 1][k], exps[j - 1][k]);
      }
      const int runOnly = j == i + 1 ? runCostOf[i][j] : runCost(exps, i, j, wanted[i][j], end, kD15, params, snrOffset);
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
      const int cost = runCost(exps, i, j, wanted[i][j], end, s, params, snrOffset);
      if (cost < pickCost) pick = s, pickCost = cost;
    }
    strategies[i] = pick;
    for (int b = i + 1; b < j; ++b) strategies[b] = kReuse;
    j = i;
  }
}

}  // namespace ac3
