#include "ac3/ac3_exponents.h"

#include <algorithm>
#include <cstring>

namespace ac3 {

namespace {

int groupSize(ExponentStrategy strategy) { return strategy == kD15 ? 1 : strategy == kD25 ? 2 : 4; }

}  // namespace

void extractExponents(const float* coefs, int count, uint8_t* exps) {
  for (int i = 0; i < count; ++i) {
    // A magnitude in [2^-e-1, 2^-e) has the binary exponent -e-1: read it
    // from the float's exponent field (zero and tiny values cap at 24).
    uint32_t bits;
    std::memcpy(&bits, &coefs[i], sizeof bits);
    const int exponent = 126 - static_cast<int>((bits >> 23) & 0xff);
    exps[i] = static_cast<uint8_t>(exponent < 0 ? 0 : exponent > kMaxExponent ? kMaxExponent : exponent);
  }
}

int exponentGroupCount(ExponentStrategy strategy, int end) {
  switch (strategy) {
    case kD15:
      return (end - 1) / 3;
    case kD25:
      return (end - 1 + 3) / 6;
    case kD45:
      return (end - 1 + 9) / 12;
    default:
      return 0;
  }
}

int newExponentBits(ExponentStrategy strategy, int end) {
  return 6 + 4 + 7 * exponentGroupCount(strategy, end) + 2;
}

void codeExponents(const uint8_t* wanted, int end, ExponentStrategy strategy, CodedExponents& coded,
                   uint8_t* decoded) {
  const int size = groupSize(strategy);
  const int groups = exponentGroupCount(strategy, end);
  const int units = 1 + 3 * groups;
  uint8_t unit[1 + 3 * 84];
  // The first exponent is sent in 4 bits.
  unit[0] = std::min<uint8_t>(wanted[0], 15);
  const uint8_t* bins = wanted + 1;
  for (int u = 1; u < units; ++u, bins += size) {
    uint8_t smallest = bins[0];
    for (int k = 1; k < size; ++k) smallest = std::min(smallest, bins[k]);
    unit[u] = smallest;
  }
  // Only lowering an exponent keeps every mantissa in range, so the steps
  // are limited to +-2 by lowering from both sides.
  for (int u = 1; u < units; ++u) unit[u] = std::min<uint8_t>(unit[u], static_cast<uint8_t>(unit[u - 1] + 2));
  for (int u = units - 2; u >= 0; --u) unit[u] = std::min<uint8_t>(unit[u], static_cast<uint8_t>(unit[u + 1] + 2));

  coded.first = unit[0];
  coded.groupCount = static_cast<uint8_t>(groups);
  for (int g = 0; g < groups; ++g) {
    const int u = 1 + 3 * g;
    const int d0 = unit[u] - unit[u - 1] + 2;
    const int d1 = unit[u + 1] - unit[u] + 2;
    const int d2 = unit[u + 2] - unit[u + 1] + 2;
    coded.groups[g] = static_cast<uint8_t>(25 * d0 + 5 * d1 + d2);
  }
  decoded[0] = unit[0];
  const int covered = 1 + 3 * groups * size;
  uint8_t* out = decoded + 1;
  for (int u = 1; u < units; ++u) {
    for (int k = 0; k < size; ++k) *out++ = unit[u];
  }
  for (int bin = covered; bin < kCoefsPerBlock; ++bin) decoded[bin] = kMaxExponent;
}

}  // namespace ac3
