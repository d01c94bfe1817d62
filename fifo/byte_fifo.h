#pragma once

#include <cstdint>

// Carry-over buffer for the bytes a pipeline stage could not consume yet.
// Not a ring buffer: it holds exactly the leftover of the last call, in one
// block that is exactly as long as `length` (no spare capacity). A stage
// joins the leftover and its new bytes into one fresh buffer, consumes a
// prefix and hands the unconsumed tail back.
//
// Every allocation uses the non-throwing operators; an operation that cannot
// get memory reports it and leaves the FIFO as it was, so no held byte is
// ever lost silently. Buffers handed out or taken in are new[] blocks.
class ByteFifo {
 public:
  ByteFifo() = default;
  ~ByteFifo() { release(); }
  ByteFifo(const ByteFifo&) = delete;
  ByteFifo& operator=(const ByteFifo&) = delete;

  // Makes the FIFO empty without freeing anything (for a FIFO whose fields
  // were never set).
  void reset();

  // Returns a new buffer holding the held bytes followed by `byteCount` new
  // bytes and sets byteCount to their total; the FIFO is empty afterwards.
  // The caller owns the buffer (delete[]). Returns nullptr when memory ran
  // out or the total does not fit 32 bits: the FIFO and byteCount are then
  // unchanged.
  uint8_t* drainAndAppend(const uint8_t* bytes, uint32_t& byteCount);

  // Replaces whatever is held by a copy of `byteCount` bytes; a count of 0
  // changes nothing. Returns false when memory ran out: the FIFO then keeps
  // what it held before.
  bool keepRemainder(const uint8_t* bytes, uint32_t byteCount);

  // Takes ownership of `storage`, a new[] block of exactly `byteCount` bytes
  // (null when 0), in place of whatever is held. Cannot fail: lets a caller
  // allocate the leftover's storage before it changes any other state.
  void adopt(uint8_t* storage, uint32_t byteCount);

  // Frees the held bytes; the FIFO is empty afterwards.
  void release();

  uint32_t size() const { return length; }
  const uint8_t* data() const { return storage; }

 private:
  uint8_t* storage = nullptr;  // exactly `length` bytes, null when empty
  uint32_t length = 0;
};
