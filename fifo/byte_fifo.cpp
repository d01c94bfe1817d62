#include "fifo/byte_fifo.h"

#include <cstring>
#include <new>

void ByteFifo::reset() {
  storage = nullptr;
  length = 0;
}

uint8_t* ByteFifo::drainAndAppend(const uint8_t* bytes, uint32_t& byteCount) {
  const uint64_t total = uint64_t(length) + byteCount;
  if (total > UINT32_MAX) return nullptr;
  uint8_t* joined = new (std::nothrow) uint8_t[total];
  if (joined == nullptr) return nullptr;
  if (length != 0) std::memcpy(joined, storage, length);
  if (byteCount != 0) std::memcpy(joined + length, bytes, byteCount);
  release();
  byteCount = uint32_t(total);
  return joined;
}

bool ByteFifo::keepRemainder(const uint8_t* bytes, uint32_t byteCount) {
  if (byteCount == 0) return true;
  uint8_t* copy = new (std::nothrow) uint8_t[byteCount];
  if (copy == nullptr) return false;
  std::memcpy(copy, bytes, byteCount);
  adopt(copy, byteCount);
  return true;
}

void ByteFifo::adopt(uint8_t* newStorage, uint32_t byteCount) {
  release();
  storage = newStorage;
  length = byteCount;
}

void ByteFifo::release() {
  delete[] storage;
  storage = nullptr;
  length = 0;
}
