#include "ac3/ac3_mantissas.h"

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ac3 {

namespace {

// 2^e for every exponent: the mantissa is the coefficient scaled up by it.
struct ExponentScale {
  float factor[kMaxExponent + 1];
  constexpr ExponentScale() : factor() {
    float f = 1.0f;
    for (int e = 0; e <= kMaxExponent; ++e, f *= 2.0f) factor[e] = f;
  }
};
constexpr ExponentScale kScale;

// Index of the nearest of `levels` values spaced 2/levels apart, centred on
// zero; values at or beyond full scale land on the outermost level.
int symmetricIndex(float mantissa, int levels) {
  // Truncation rounds only negative values differently from the floor,
  // and those land on level 0 either way.
  const int index = static_cast<int>((mantissa + 1.0f) * static_cast<float>(levels) * 0.5f);
  return index < 0 ? 0 : index >= levels ? levels - 1 : index;
}

// To the nearest integer, ties to even, as std::lrint in the default
// rounding mode, without a library call.
int roundToInt(float value) {
#if defined(__SSE2__)
  return _mm_cvtss_si32(_mm_set_ss(value));
#else
  return static_cast<int>(std::lrint(value));
#endif
}

// Two's complement code of `bits` bits, rounded, clipped at both ends.
uint16_t asymmetricCode(float mantissa, int bits) {
  const int top = 1 << (bits - 1);
  int code = roundToInt(mantissa * static_cast<float>(top));
  if (code >= top) code = top - 1;
  if (code < -top) code = -top;
  return static_cast<uint16_t>(code & ((1 << bits) - 1));
}

struct Group {
  int slot = -1;   // where the group's code goes in the block's list
  int filled = 0;
};

void addToGroup(Group& group, BlockMantissas& out, int index, int size, int radix, int bits) {
  if (group.slot < 0) {
    group.slot = out.count;
    out.codes[out.count++] = MantissaCode{0, static_cast<uint8_t>(bits)};
    out.totalBits += bits;
  }
  MantissaCode& code = out.codes[group.slot];
  code.value = static_cast<uint16_t>(code.value * radix + index);
  if (++group.filled == size) group = Group{};
}

// A group cut short by the block's end is padded with zero indices.
void closeGroup(Group& group, BlockMantissas& out, int size, int radix) {
  if (group.slot < 0) return;
  MantissaCode& code = out.codes[group.slot];
  for (; group.filled < size; ++group.filled) code.value = static_cast<uint16_t>(code.value * radix);
  group = Group{};
}

}  // namespace

void quantizeBlock(const ChannelSpectrum* channels, int channelCount, BlockMantissas& out) {
  out.count = 0;
  out.totalBits = 0;
  Group threes, fives, elevens;
  for (int ch = 0; ch < channelCount; ++ch) {
    const ChannelSpectrum& spectrum = channels[ch];
    for (int bin = 0; bin < spectrum.end; ++bin) {
      const int bap = spectrum.baps[bin];
      if (bap == 0) continue;
      const float mantissa = spectrum.coefs[bin] * kScale.factor[spectrum.exps[bin]];
      switch (bap) {
        case 1:
          addToGroup(threes, out, symmetricIndex(mantissa, 3), 3, 3, 5);
          break;
        case 2:
          addToGroup(fives, out, symmetricIndex(mantissa, 5), 3, 5, 7);
          break;
        case 4:
          addToGroup(elevens, out, symmetricIndex(mantissa, 11), 2, 11, 7);
          break;
        case 3:
        case 5:
          out.codes[out.count++] =
              MantissaCode{static_cast<uint16_t>(symmetricIndex(mantissa, kSymmetricLevels[bap])), kMantissaBits[bap]};
          out.totalBits += kMantissaBits[bap];
          break;
        default:
          out.codes[out.count++] = MantissaCode{asymmetricCode(mantissa, kMantissaBits[bap]), kMantissaBits[bap]};
          out.totalBits += kMantissaBits[bap];
          break;
      }
    }
  }
  closeGroup(threes, out, 3, 3);
  closeGroup(fives, out, 3, 5);
  closeGroup(elevens, out, 2, 11);
}

}  // namespace ac3
