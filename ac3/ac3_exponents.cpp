#include "ac3/ac3_exponents.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {

#if defined(__SSE2__)

// Byte lanes shifted up (towards higher units) or down by `Lanes`, the
// vacated lanes filled with 255 so they never lower a minimum.
template <int Lanes>
__m128i shiftUp(__m128i v) {
  return _mm_or_si128(_mm_slli_si128(v, Lanes), _mm_srli_si128(_mm_set1_epi8(-1), 16 - Lanes));
}
template <int Lanes>
__m128i shiftDown(__m128i v) {
  return _mm_or_si128(_mm_srli_si128(v, Lanes), _mm_slli_si128(_mm_set1_epi8(-1), 16 - Lanes));
}

// Each lane lowered to at most 2 above its lower neighbour, carried
// through the vector in four doubling steps, then from the unit below.
__m128i limitUpward(__m128i v, int below) {
  v = _mm_min_epu8(v, _mm_adds_epu8(shiftUp<1>(v), _mm_set1_epi8(2)));
  v = _mm_min_epu8(v, _mm_adds_epu8(shiftUp<2>(v), _mm_set1_epi8(4)));
  v = _mm_min_epu8(v, _mm_adds_epu8(shiftUp<4>(v), _mm_set1_epi8(8)));
  v = _mm_min_epu8(v, _mm_adds_epu8(shiftUp<8>(v), _mm_set1_epi8(16)));
  const __m128i rise = _mm_setr_epi8(2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 32);
  return _mm_min_epu8(v, _mm_adds_epu8(_mm_set1_epi8(static_cast<char>(below)), rise));
}

__m128i limitDownward(__m128i v, int above) {
  v = _mm_min_epu8(v, _mm_adds_epu8(shiftDown<1>(v), _mm_set1_epi8(2)));
  v = _mm_min_epu8(v, _mm_adds_epu8(shiftDown<2>(v), _mm_set1_epi8(4)));
  v = _mm_min_epu8(v, _mm_adds_epu8(shiftDown<4>(v), _mm_set1_epi8(8)));
  v = _mm_min_epu8(v, _mm_adds_epu8(shiftDown<8>(v), _mm_set1_epi8(16)));
  const __m128i rise = _mm_setr_epi8(32, 30, 28, 26, 24, 22, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2);
  return _mm_min_epu8(v, _mm_adds_epu8(_mm_set1_epi8(static_cast<char>(above)), rise));
}

// Only lowering an exponent keeps every mantissa in range, so the steps
// are limited to +-2 by lowering from both sides. `unit` has room for
// whole vectors past `units`.
void limitSteps(uint8_t* unit, int units) {
  const int vectors = (units + 15) / 16;
  std::fill(unit + units, unit + 16 * vectors, uint8_t{255});
  int carry = 255;
  for (int i = 0; i < vectors; ++i) {
    __m128i* at = reinterpret_cast<__m128i*>(unit + 16 * i);
    const __m128i v = limitUpward(_mm_loadu_si128(at), carry);
    _mm_storeu_si128(at, v);
    carry = _mm_extract_epi16(v, 7) >> 8;
  }
  // The padding was lowered along; it must not lower the last units back.
  std::fill(unit + units, unit + 16 * vectors, uint8_t{255});
  carry = 255;
  for (int i = vectors - 1; i >= 0; --i) {
    __m128i* at = reinterpret_cast<__m128i*>(unit + 16 * i);
    const __m128i v = limitDownward(_mm_loadu_si128(at), carry);
    _mm_storeu_si128(at, v);
    carry = _mm_cvtsi128_si32(v) & 0xff;
  }
}

#else

// Only lowering an exponent keeps every mantissa in range, so the steps
// are limited to +-2 by lowering from both sides. The running value stays
// in a register: each step waits on the one before.
void limitSteps(uint8_t* unit, int units) {
  int limit = unit[0];
  for (int u = 1; u < units; ++u) {
    limit = std::min<int>(unit[u], limit + 2);
    unit[u] = static_cast<uint8_t>(limit);
  }
  limit = unit[units - 1];
  for (int u = units - 2; u >= 0; --u) {
    limit = std::min<int>(unit[u], limit + 2);
    unit[u] = static_cast<uint8_t>(limit);
  }
}

#endif

// Units (a group of 1, 2 or 4 coefficients each, the first alone) padded to
// whole vectors.
constexpr int kUnitRoom = 1 + 3 * 84 + 15;

// The exponent each unit (a group of 1, 2 or 4 coefficients) is sent at;
// returns the number of units.
int shapeUnits(const uint8_t* wanted, int end, ExponentStrategy strategy, uint8_t* unit) {
  const int size = groupSize(strategy);
  const int units = 1 + 3 * exponentGroupCount(strategy, end);
  // The first exponent is sent in 4 bits.
  unit[0] = std::min<uint8_t>(wanted[0], 15);
  const uint8_t* bins = wanted + 1;
  if (size == 1) {
    for (int u = 1; u < units; ++u) unit[u] = bins[u - 1];
  } else {
    for (int u = 1; u < units; ++u, bins += size) {
      uint8_t smallest = bins[0];
      for (int k = 1; k < size; ++k) smallest = std::min(smallest, bins[k]);
      unit[u] = smallest;
    }
  }
  limitSteps(unit, units);
  return units;
}

void expandUnits(const uint8_t* unit, int units, ExponentStrategy strategy, uint8_t* decoded) {
  const int size = groupSize(strategy);
  decoded[0] = unit[0];
  uint8_t* out = decoded + 1;
  if (size == 1) {
    for (int u = 1; u < units; ++u) *out++ = unit[u];
  } else {
    for (int u = 1; u < units; ++u, out += size) std::fill(out, out + size, unit[u]);
  }
  std::fill(out, decoded + kCoefsPerBlock, static_cast<uint8_t>(kMaxExponent));
}

}  // namespace

void codeExponents(const uint8_t* wanted, int end, ExponentStrategy strategy, CodedExponents& coded,
                   uint8_t* decoded) {
  uint8_t unit[kUnitRoom];
  const int units = shapeUnits(wanted, end, strategy, unit);
  const int groups = (units - 1) / 3;
  coded.first = unit[0];
  coded.groupCount = static_cast<uint8_t>(groups);
  for (int g = 0; g < groups; ++g) {
    const int u = 1 + 3 * g;
    const int d0 = unit[u] - unit[u - 1] + 2;
    const int d1 = unit[u + 1] - unit[u] + 2;
    const int d2 = unit[u + 2] - unit[u + 1] + 2;
    coded.groups[g] = static_cast<uint8_t>(25 * d0 + 5 * d1 + d2);
  }
  expandUnits(unit, units, strategy, decoded);
}

void decodedExponents(const uint8_t* wanted, int end, ExponentStrategy strategy, uint8_t* decoded) {
  uint8_t unit[kUnitRoom];
  expandUnits(unit, shapeUnits(wanted, end, strategy, unit), strategy, decoded);
}

}  // namespace ac3
