#pragma once
// Exponents: one per coefficient (how far it lies below full scale, in
// factors of two), shared across blocks and neighbouring coefficients as
// the strategy says, and sent as differences of at most 2 in groups of three.
#include <cstdint>

#include "ac3/ac3_tables.h"

namespace ac3 {

enum ExponentStrategy : uint8_t { kReuse = 0, kD15 = 1, kD25 = 2, kD45 = 3 };

struct CodedExponents {
  uint8_t first = 0;       // coefficient 0, sent whole (4 bits)
  uint8_t groupCount = 0;  // 7-bit groups that follow
  uint8_t groups[84] = {};
};

// The largest exponent at which each of `count` coefficients still has a
// magnitude below one (capped at 24).
void extractExponents(const float* coefs, int count, uint8_t* exps);

// Groups sent for `strategy` (not kReuse) when coefficients end at `end`.
int exponentGroupCount(ExponentStrategy strategy, int end);

// Bits of a channel's new exponents in a block: the bandwidth code, the
// first exponent, the groups and the gain range; not the strategy itself.
int newExponentBits(ExponentStrategy strategy, int end);

// Codes `wanted` (never exceeding it, so no mantissa overflows) and writes
// the exponents the decoder will see for every coefficient up to 256.
void codeExponents(const uint8_t* wanted, int end, ExponentStrategy strategy, CodedExponents& coded,
                   uint8_t* decoded);

// The exponents codeExponents() would give the decoder, without the groups.
void decodedExponents(const uint8_t* wanted, int end, ExponentStrategy strategy, uint8_t* decoded);

}  // namespace ac3
