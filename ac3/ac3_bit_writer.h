#pragma once
// Writes a sync frame MSB first into a buffer of fixed size, and computes
// the two CRCs of the frame (generator x^16 + x^15 + x^2 + 1).
#include <cstddef>
#include <cstdint>

namespace ac3 {

class BitWriter {
 public:
  // `bytes` must hold `size` bytes.
  BitWriter(uint8_t* bytes, size_t size) : bytes(bytes), size(size) {}

  // Appends the low `count` bits of `value` (count <= 24). Bits gather in a
  // register and go out 32 at a time.
  void put(uint32_t value, int count) {
    pending = (pending << count) | (value & ((1u << count) - 1));
    pendingBits += count;
    if (pendingBits >= 32) flushWord();
  }
  // Writes the bits still pending and zeroes the rest of the buffer.
  void finish();

 private:
  void flushWord();
  void writeByte(uint8_t byte);

  uint8_t* bytes;
  size_t size;
  size_t written = 0;  // bytes
  uint64_t pending = 0;
  int pendingBits = 0;
};

// CRC of `size` bytes, register starting at zero.
uint16_t crc16(const uint8_t* bytes, size_t size);

// Fills in crc1 (bytes 2-3) and crc2 (the last two bytes) of a frame of
// `frameBytes` bytes whose other bits are final.
void sealFrame(uint8_t* frame, size_t frameBytes);

}  // namespace ac3
