#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/block_sizes.h"

class WavReader;

// Feeds the WAV data to the plug-in in blocks whose sizes BlockSizes picks,
// independently of the reader's whole-frame pieces: a block may end inside a
// frame. The last call carries the end flag.
class BlockFeeder {
public:
  BlockFeeder(WavReader& reader, BlockSizes sizes) : reader(reader), sizes(sizes) {}

  // Next block: its bytes stay valid until the next call. False on a read
  // error (the reader's error() says why).
  bool next(const uint8_t*& data, uint32_t& byteCount, bool& last);

private:
  bool fill(uint32_t wanted);

  WavReader& reader;
  BlockSizes sizes;
  std::vector<uint8_t> staged;
  size_t consumed = 0;
};
