#pragma once
// Quantizes coefficients to mantissas as the baps say, in the order the
// block sends them; the 3-, 5- and 11-level quantizers pack their values in
// groups that run on across the block's channels.
#include <cstdint>

#include "ac3/ac3_tables.h"

namespace ac3 {

struct MantissaCode {
  uint16_t value;
  uint8_t bits;
};

struct BlockMantissas {
  MantissaCode codes[kMaxChannels * kCoefsPerBlock];
  int count = 0;
  int totalBits = 0;
};

// One channel's coefficients with the exponents and baps the decoder sees.
struct ChannelSpectrum {
  const float* coefs;
  const uint8_t* exps;
  const uint8_t* baps;
  int end;
};

void quantizeBlock(const ChannelSpectrum* channels, int channelCount, BlockMantissas& out);

}  // namespace ac3
