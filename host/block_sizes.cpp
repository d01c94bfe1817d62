#include "host/block_sizes.h"

BlockSizes BlockSizes::fixed(uint32_t bytes) { return BlockSizes(bytes == 0 ? 1 : bytes, 0); }

BlockSizes BlockSizes::random(uint32_t seed) { return BlockSizes(0, seed); }

// Sizes spread evenly over powers of two from 1 byte to 256 KiB, then
// uniformly within the chosen octave: small blocks are as frequent as large
// ones. mt19937's raw output is fully specified, unlike the standard
// distributions, hence the plain arithmetic.
uint32_t BlockSizes::next() {
  if (fixedBytes != 0) return fixedBytes;
  const uint32_t octaves = 19;  // 2^0 .. 2^18
  uint32_t octave = generator() % octaves;
  uint32_t low = 1u << octave;
  return low + generator() % low;
}
