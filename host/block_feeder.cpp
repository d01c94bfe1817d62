#include "host/block_feeder.h"

#include "wavfile/wav_reader.h"

namespace {

const uint32_t kReadBytes = 1 << 20;

}  // namespace

bool BlockFeeder::next(const uint8_t*& data, uint32_t& byteCount, bool& last) {
  uint32_t wanted = sizes.next();
  if (!fill(wanted)) return false;
  uint32_t available = uint32_t(staged.size() - consumed);
  byteCount = wanted < available ? wanted : available;
  data = staged.data() + consumed;
  consumed += byteCount;
  last = consumed == staged.size() && reader.bytesLeft() == 0;
  return true;
}

bool BlockFeeder::fill(uint32_t wanted) {
  if (staged.size() - consumed >= wanted) return true;
  staged.erase(staged.begin(), staged.begin() + consumed);
  consumed = 0;
  while (staged.size() < wanted && reader.bytesLeft() > 0) {
    size_t start = staged.size();
    uint32_t piece = wanted - uint32_t(start) > kReadBytes ? wanted - uint32_t(start) : kReadBytes;
    staged.resize(start + piece);
    uint32_t read = 0;
    if (!reader.read(staged.data() + start, piece, read)) return false;
    staged.resize(start + read);
    if (read == 0) break;
  }
  return true;
}
