#pragma once
// Chooses, for one channel of a frame, which blocks send new exponents and
// at what resolution: the plan that costs the fewest bits (exponents plus
// mantissas at the expected SNR offset) over the six blocks.
#include "ac3/ac3_bit_allocation.h"
#include "ac3/ac3_exponents.h"

namespace ac3 {

void chooseExponentStrategies(const uint8_t (*exps)[kCoefsPerBlock], int end, const BitAllocationParams& params,
                              int expectedSnrCombined, ExponentStrategy* strategies);

}  // namespace ac3
