#pragma once
// Stereo sum and difference per rematrixing band: where the channels are
// alike, (L+R)/2 and (L-R)/2 carry the same sound in far fewer bits.
#include "ac3/ac3_tables.h"

namespace ac3 {

// Chooses each band's flag for one block and rewrites the coefficients of
// the flagged bands in place (up to `end`).
void rematrixBlock(float* left, float* right, int end, bool* flags);

// Rewrites coefficients [from, to) as their bands' flags say: a block coded
// wider than its flags were chosen over.
void rematrixRange(float* left, float* right, int from, int to, const bool* flags);

}  // namespace ac3
