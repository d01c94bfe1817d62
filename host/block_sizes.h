#pragma once
#include <cstdint>
#include <random>

// The sizes of the blocks plughost hands to the plug-in: a fixed size, or a
// seeded random sequence that mixes single bytes, odd sizes that split frames
// and blocks of a few hundred KiB, so a conversion exercises every carry-over
// path of the pipeline. The same seed gives the same sequence everywhere.
class BlockSizes {
public:
  static BlockSizes fixed(uint32_t bytes);
  static BlockSizes random(uint32_t seed);

  uint32_t next();

private:
  explicit BlockSizes(uint32_t fixedBytes, uint32_t seed) : fixedBytes(fixedBytes), generator(seed) {}

  uint32_t fixedBytes;  // 0: random sizes
  std::mt19937 generator;
};
