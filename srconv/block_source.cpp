#include "srconv/block_source.h"

#include "wavfile/wav_reader.h"

namespace {

constexpr uint32_t kRestPieceBytes = 1u << 20;

uint32_t wholeFrames(uint32_t bytes, uint32_t frameBytes) {
  uint32_t rounded = bytes - bytes % frameBytes;
  return rounded > 0 ? rounded : frameBytes;
}

}  // namespace

BlockSource::BlockSource(std::FILE* stream, const Options& options)
    : stream_(stream),
      blockBytes_(options.blockBytes),
      blockList_(options.blockList),
      useBlockList_(options.useBlockList) {}

BlockSource::BlockSource(WavReader& reader, const Options& options)
    : reader_(&reader),
      blockBytes_(wholeFrames(options.blockBytes, uint32_t(reader.format().frameBytes()))),
      useBlockList_(false) {}

uint32_t BlockSource::nextPlannedSize() { return useBlockList_ ? blockList_[blocksDone_] : blockBytes_; }

bool BlockSource::atEnd() {
  if (reader_ != nullptr) return reader_->atEnd();
  int c = std::getc(stream_);
  if (c == EOF) return true;
  std::ungetc(c, stream_);
  return false;
}

// Reads until count bytes are there or the input ends.
bool BlockSource::readUpTo(uint8_t* destination, uint32_t count, uint32_t& got) {
  got = 0;
  if (reader_ != nullptr) {
    if (reader_->read(destination, count, got)) return true;
    error_ = reader_->error();
    return false;
  }
  while (got < count) {
    size_t n = std::fread(destination + got, 1, count - got, stream_);
    got += uint32_t(n);
    if (n == 0) break;
  }
  if (std::ferror(stream_)) {
    error_ = "read error on the input";
    return false;
  }
  return true;
}

bool BlockSource::readRest(std::vector<uint8_t>& block) {
  block.clear();
  uint32_t got = 0;
  do {
    if (block.size() > kMaxBlockBytes) {
      error_ = "the rest of the input exceeds the largest block (" + std::to_string(kMaxBlockBytes) + " bytes)";
      return false;
    }
    size_t used = block.size();
    block.resize(used + kRestPieceBytes);
    if (!readUpTo(block.data() + used, kRestPieceBytes, got)) return false;
    block.resize(used + got);
  } while (got > 0);
  return true;
}

bool BlockSource::next(std::vector<uint8_t>& block, bool& isLast) {
  bool restOfInput = useBlockList_ && blocksDone_ >= blockList_.size();
  if (restOfInput) {
    if (!readRest(block)) return false;
    isLast = true;
  } else {
    block.resize(nextPlannedSize());
    uint32_t got = 0;
    if (!readUpTo(block.data(), uint32_t(block.size()), got)) return false;
    block.resize(got);
    isLast = atEnd();
  }
  ++blocksDone_;
  bytesDelivered_ += block.size();
  return true;
}
