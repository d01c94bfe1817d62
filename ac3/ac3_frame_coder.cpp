#include "ac3/ac3_frame_coder.h"

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <cstdlib>

#include "ac3/ac3_exponent_strategy.h"
#include "ac3/ac3_rematrix.h"

namespace ac3 {

namespace {


}  // namespace

FrameCoder::FrameCoder(const FrameLayout& layout, int rateShift, int bandwidthCode) {
  syntax.layout = layout;
  syntax.params.fscod = layout.fscod;
  syntax.params.rateShift = rateShift;
  syntax.bandwidthCode = bandwidthCode;
  end = 3 * bandwidthCode + 73;
  availableBits = static_cast<int>(layout.frameBytes * 8);
}

void FrameCoder::planExponents(int ch, const uint8_t (*raw)[kCoefsPerBlock], bool oneSetPerFrame) {
  ChannelPlan& plan = plans[ch];
  if (oneSetPerFrame) {
    plan.strategies[0] = kD45;
    for (int b = 1; b < kBlocksPerFrame; ++b) plan.strategies[b] = kReuse;
  } else {
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
    for (int b = start; b < stop; ++b) plan.runOf[b] = start;
    start = stop;
  }
}

int FrameCoder::bitsAt(int snrCombined) const {
  const int channels = syntax.layout.channels;
  const int offset = snrOffsetOf(snrCombined);
  uint16_t runCounts[kMaxChannels][kBlocksPerFrame][16] = {};
  for (int ch = 0; ch < channels; ++ch) {
    const ChannelPlan& plan = plans[ch];
    for (int b = 0; b < kBlocksPerFrame; ++b) {
      if (plan.runOf[b] == b) countBaps(plan.spectra[b], offset, syntax.params, runCounts[ch][b]);
    }
  }
  int bits = 0;
  for (int b = 0; b < kBlocksPerFrame; ++b) {
    uint16_t counts[16] = {};
    for (int ch = 0; ch < channels; ++ch) {
      const uint16_t* run = runCounts[ch][plans[ch].runOf[b]];
      for (int bap = 0; bap < 16; ++bap) counts[bap] = static_cast<uint16_t>(counts[bap] + run[bap]);
    }
    bits += mantissaBits(counts);
  }
  return bits;
}

int FrameCoder::bestSnrOffset(int mantissaBudget) const {
  if (bitsAt(0) > mantissaBudget) return -1;
  int fits = 0, overflows = 1024;
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

void FrameCoder::code(float (*coefs)[kBlocksPerFrame][kCoefsPerBlock], uint8_t* out) {
  const int channels = syntax.layout.channels;
  if (channels == 2) {
    for (int b = 0; b < kBlocksPerFrame; ++b) {
      BlockSyntax& block = syntax.blocks[b];
      bool flags[kRematrixBands];
      rematrixBlock(coefs[0][b], coefs[1][b], end, flags);
      // Flags carry over from the block before unless they change.
      block.rematrixStrategy = b == 0 || !std::equal(flags, flags + kRematrixBands, syntax.blocks[b - 1].rematrixFlags);
      std::copy(flags, flags + kRematrixBands, block.rematrixFlags);
    }
  }
  uint8_t raw[kMaxChannels][kBlocksPerFrame][kCoefsPerBlock];
  for (int ch = 0; ch < channels; ++ch) {
    for (int b = 0; b < kBlocksPerFrame; ++b) extractExponents(coefs[ch][b], kCoefsPerBlock, raw[ch][b]);
    planExponents(ch, raw[ch], false);
  }
  fillSyntax();
  int snr = bestSnrOffset(availableBits - frameSideBits(syntax));
  if (getenv("AC3DBG")) { fprintf(stderr, "budget %d:", availableBits - frameSideBits(syntax)); for (int t : {0, 240, 264, 300, 400, 600}) fprintf(stderr, " %d->%d", t, bitsAt(t)); fprintf(stderr, "\n"); }
  if (snr < 0) {
    for (int ch = 0; ch < channels; ++ch) planExponents(ch, raw[ch], true);
    fillSyntax();
    snr = std::max(bestSnrOffset(availableBits - frameSideBits(syntax)), 0);
  }
  syntax.snrCombined = snr;
  expectedSnr = snr;
  if (getenv("AC3DBG")) { fprintf(stderr, "snr %d side %d end %d strat", snr, frameSideBits(syntax), end); for (int ch=0;ch<channels;++ch){ for(int b=0;b<6;++b) fprintf(stderr," %d",plans[ch].strategies[b]); fprintf(stderr," |");} fprintf(stderr,"\n"); }

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
