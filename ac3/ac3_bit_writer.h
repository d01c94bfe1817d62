#pragma once
// Writes a sync frame MSB first into a buffer of fixed size, and computes
// the two CRCs of the frame (generator x^16 + x^15 + x^2 + 1).
#include <cstddef>
#include <cstdint>

namespace ac3 {

class BitWriter {
 public:
  // `bytes` must hold `size` bytes; they are zeroed here.
  BitWriter(uint8_t* bytes, size_t size);

  // Appends the low `count` bits of `value` (count <= 24).
  void put(uint32_t value, int count);
  size_t bitsWritten() const { return bitPosition; }
  size_t bitsLeft() const { return capacityBits - bitPosition; }
  // Moves the write position forward over zero bits.
  void skipTo(size_t bitPositionFromStart) { bitPosition = bitPositionFromStart; }

 private:
  uint8_t* bytes;
  size_t capacityBits;
  size_t bitPosition = 0;
};

// CRC of `size` bytes, register starting at zero.
uint16_t crc16(const uint8_t* bytes, size_t size);

// Fills in crc1 (bytes 2-3) and crc2 (the last two bytes) of a frame of
// `frameBytes` bytes whose other bits are final.
void sealFrame(uint8_t* frame, size_t frameBytes);

}  // namespace ac3
