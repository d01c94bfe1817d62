#include "ac3/ac3_exponent_strategy.h"

#include <algorithm>

namespace ac3 {

namespace {

// Mantissa cost in sixths of a bit: grouped quantizers share their code.
constexpr int kSixthsOfBap[16] = {0, 10, 14, 18, 21, 24, 30, 36, 42, 48, 54, 60, 66, 72, 84, 96};

// Sixths of a bit to send one exponent set and code `blocks` blocks with it.
int runCost(const uint8_t* wanted, int end, ExponentStrategy strategy, int blocks, const BitAllocationParams& params,
            int snrOffset) {
  CodedExponents coded;
  uint8_t decoded[kCoefsPerBlock];
  codeExponents(wanted, end, strategy, coded, decoded);
  MaskedSpectrum spectrum;
  computeMask(decoded, end, params, spectrum);
  uint16_t counts[16] = {};
  countBaps(spectrum, snrOffset, params, counts);
  int mantissa = 0;
  for (int bap = 1; bap < 16; ++bap) mantissa += counts[bap] * kSixthsOfBap[bap];
  return 6 * newExponentBits(strategy, end) + blocks * mantissa;
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
  best[0] = 0;
  for (int j = 1; j <= kBlocksPerFrame; ++j) best[j] = -1;
  for (int i = 0; i < kBlocksPerFrame; ++i) {
    std::copy(exps[i], exps[i] + kCoefsPerBlock, wanted[i][i + 1]);
    for (int j = i + 1; j <= kBlocksPerFrame; ++j) {
      if (j > i + 1) {
        for (int k = 0; k < kCoefsPerBlock; ++k) wanted[i][j][k] = std::min(wanted[i][j - 1][k], exps[j - 1][k]);
      }
      const int cost = best[i] + runCost(wanted[i][j], end, kD15, j - i, params, snrOffset);
      if (best[j] < 0 || cost < best[j]) {
        best[j] = cost;
        runStartOf[j] = i;
      }
    }
  }
  // Then each chosen run takes the resolution that costs it least.
  for (int j = kBlocksPerFrame; j > 0;) {
    const int i = runStartOf[j];
    ExponentStrategy pick = kD15;
    int pickCost = best[j] - best[i];
    for (ExponentStrategy s : {kD25, kD45}) {
      const int cost = runCost(wanted[i][j], end, s, j - i, params, snrOffset);
      if (cost < pickCost) pick = s, pickCost = cost;
    }
    strategies[i] = pick;
    for (int b = i + 1; b < j; ++b) strategies[b] = kReuse;
    j = i;
  }
}

}  // namespace ac3
