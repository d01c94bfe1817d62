#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "srconv/options.h"

class WavReader;

// Cuts the input into the host blocks that srconv hands to the converter:
// fixed-size blocks, or the sizes of --blocks in turn and then the rest of
// the input in one block. The block that reaches the end of the input is the
// last one (it carries the converter's end flag); an empty input yields one
// empty last block.
class BlockSource {
 public:
  // Raw PCM from a stdio stream.
  BlockSource(std::FILE* stream, const Options& options);
  // The data chunk of a WAV file; block sizes are rounded down to whole
  // frames (at least one).
  BlockSource(WavReader& reader, const Options& options);

  // Fills block with the next host block. False on a read error or a final
  // block beyond kMaxBlockBytes (error() says why).
  bool next(std::vector<uint8_t>& block, bool& isLast);

  uint64_t bytesDelivered() const { return bytesDelivered_; }
  const std::string& error() const { return error_; }

 private:
  uint32_t nextPlannedSize();
  bool readUpTo(uint8_t* destination, uint32_t count, uint32_t& got);
  bool readRest(std::vector<uint8_t>& block);
  bool atEnd();

  std::FILE* stream_ = nullptr;
  WavReader* reader_ = nullptr;
  uint32_t blockBytes_;
  std::vector<uint32_t> blockList_;
  bool useBlockList_;
  size_t blocksDone_ = 0;
  uint64_t bytesDelivered_ = 0;
  std::string error_;
};
