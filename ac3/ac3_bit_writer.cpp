#include "ac3/ac3_bit_writer.h"

#include <cstring>

namespace ac3 {

// Bits beyond the frame are dropped rather than written: the frame
// assembler sizes everything beforehand, so this only guards memory.
void BitWriter::writeByte(uint8_t byte) {
  if (written < size) bytes[written] = byte;
  ++written;
}

void BitWriter::flushWord() {
  pendingBits -= 32;
  const uint32_t word = static_cast<uint32_t>(pending >> pendingBits);
  if (written + 4 <= size) {
    bytes[written] = static_cast<uint8_t>(word >> 24);
    bytes[written + 1] = static_cast<uint8_t>(word >> 16);
    bytes[written + 2] = static_cast<uint8_t>(word >> 8);
    bytes[written + 3] = static_cast<uint8_t>(word);
    written += 4;
    return;
  }
  for (int shift = 24; shift >= 0; shift -= 8) writeByte(static_cast<uint8_t>(word >> shift));
}

void BitWriter::finish() {
  const uint32_t last = pendingBits > 0 ? static_cast<uint32_t>(pending << (32 - pendingBits)) : 0;
  for (int shift = 24; pendingBits > 0; shift -= 8, pendingBits -= 8) writeByte(static_cast<uint8_t>(last >> shift));
  pendingBits = 0;
  if (written < size) std::memset(bytes + written, 0, size - written);
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

// Products of remainders modulo the generator.
uint16_t multiplyMod(uint16_t a, uint16_t b) {
  uint32_t product = 0;
  for (int bit = 15; bit >= 0; --bit) {
    product <<= 1;
    if (product & 0x10000) product ^= kGenerator;
    if ((b >> bit) & 1) product ^= a;
  }
  return static_cast<uint16_t>(product);
}

uint16_t powerMod(uint16_t base, size_t exponent) {
  uint16_t result = 1;
  for (; exponent > 0; exponent >>= 1, base = multiplyMod(base, base)) {
    if (exponent & 1) result = multiplyMod(result, base);
  }
  return result;
}

// x^-1 modulo the generator: x * (x^15 + x^14 + x) equals the generator
// minus 1.
constexpr uint16_t kInverseOfX = static_cast<uint16_t>((1 ^ kGenerator) >> 1);

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
  const uint16_t remainder = crc16(frame + 4, crc1EndBytes - 4);
  const size_t bitsBack = 8 * (crc1EndBytes - 4 + 2);
  const uint16_t crc1 = multiplyMod(remainder, powerMod(kInverseOfX, bitsBack));
  frame[2] = static_cast<uint8_t>(crc1 >> 8);
  frame[3] = static_cast<uint8_t>(crc1);
  // The register over crc1 and its data is zero, so crc2 starts after them.
  const uint16_t crc2 = crc16(frame + crc1EndBytes, frameBytes - 2 - crc1EndBytes);
  frame[frameBytes - 2] = static_cast<uint8_t>(crc2 >> 8);
  frame[frameBytes - 1] = static_cast<uint8_t>(crc2);
}

}  // namespace ac3
