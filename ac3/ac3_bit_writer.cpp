#include "ac3/ac3_bit_writer.h"

#include <cstring>

namespace ac3 {

BitWriter::BitWriter(uint8_t* bytes, size_t size) : bytes(bytes), capacityBits(size * 8) {
  std::memset(bytes, 0, size);
}

void BitWriter::put(uint32_t value, int count) {
  // Bits beyond the frame are dropped rather than written: the frame
  // assembler sizes everything beforehand, so this only guards memory.
  if (bitPosition + static_cast<size_t>(count) > capacityBits) return;
  value &= (1u << count) - 1;
  const size_t byteIndex = bitPosition >> 3;
  const int offset = static_cast<int>(bitPosition & 7);
  bitPosition += static_cast<size_t>(count);
  // At most 24 + 7 bits: they fit one 32-bit window over four bytes.
  const uint32_t window = value << (32 - count - offset);
  const size_t capacityBytes = capacityBits >> 3;
  for (int i = 0; i < 4 && byteIndex + static_cast<size_t>(i) < capacityBytes; ++i) {
    bytes[byteIndex + i] = static_cast<uint8_t>(bytes[byteIndex + i] | (window >> (24 - 8 * i)));
  }
}

namespace {

constexpr uint32_t kGenerator = 0x18005;

struct CrcTable {
  uint16_t entry[256];
  constexpr CrcTable() : entry() {
    for (uint32_t byte = 0; byte < 256; ++byte) {
      uint32_t reg = byte << 8;
      for (int bit = 0; bit < 8; ++bit) {
        reg <<= 1;
        if (reg & 0x10000) reg ^= kGenerator;
      }
      entry[byte] = static_cast<uint16_t>(reg);
    }
  }
};

constexpr CrcTable kCrcTable;

// Multiplies a remainder by x^-1 modulo the generator: x * (x^15 + x^14 + x)
// equals the generator minus 1, so the constant term can always be divided
// out.
constexpr uint16_t divideByX(uint16_t remainder) {
  const uint32_t r = remainder;
  return static_cast<uint16_t>((r & 1) ? (r ^ kGenerator) >> 1 : r >> 1);
}

// x^-8 times each low byte: a remainder hi * x^8 + lo times x^-8 is
// hi + lo * x^-8, so a whole byte is taken back at once.
struct InverseByteTable {
  uint16_t entry[256];
  constexpr InverseByteTable() : entry() {
    for (int lo = 0; lo < 256; ++lo) {
      uint16_t r = static_cast<uint16_t>(lo);
      for (int bit = 0; bit < 8; ++bit) r = divideByX(r);
      entry[lo] = r;
    }
  }
};

constexpr InverseByteTable kInverseByte;

}  // namespace

uint16_t crc16(const uint8_t* bytes, size_t size) {
  uint16_t reg = 0;
  for (size_t i = 0; i < size; ++i) {
    reg = static_cast<uint16_t>((reg << 8) ^ kCrcTable.entry[(reg >> 8) ^ bytes[i]]);
  }
  return reg;
}

void sealFrame(uint8_t* frame, size_t frameBytes) {
  const size_t frameWords = frameBytes / 2;
  const size_t crc1EndBytes = 2 * ((frameWords >> 1) + (frameWords >> 3));
  // crc1 sits in front of the data it protects: the register over
  // crc1 + data must end at zero, so crc1 is the data's remainder taken back
  // through x^-(bits after crc1's start).
  uint16_t crc1 = crc16(frame + 4, crc1EndBytes - 4);
  const size_t byteShifts = crc1EndBytes - 4 + 2;
  for (size_t i = 0; i < byteShifts; ++i) crc1 = static_cast<uint16_t>((crc1 >> 8) ^ kInverseByte.entry[crc1 & 0xff]);
  frame[2] = static_cast<uint8_t>(crc1 >> 8);
  frame[3] = static_cast<uint8_t>(crc1);
  const uint16_t crc2 = crc16(frame + 2, frameBytes - 4);
  frame[frameBytes - 2] = static_cast<uint8_t>(crc2 >> 8);
  frame[frameBytes - 1] = static_cast<uint8_t>(crc2);
}

}  // namespace ac3
