#include "plugin/halve_samples.h"

namespace {

void halve8(uint8_t* buffer, uint32_t byteCount) {
  for (uint32_t i = 0; i < byteCount; ++i) {
    int distance = int(buffer[i]) - 128;
    buffer[i] = uint8_t(128 + distance / 2);
  }
}

void halve16(uint8_t* buffer, uint32_t byteCount) {
  for (uint32_t i = 0; i + 1 < byteCount; i += 2) {
    int16_t sample = int16_t(uint16_t(buffer[i] | (buffer[i + 1] << 8)));
    uint16_t halved = uint16_t(int16_t(sample / 2));
    buffer[i] = uint8_t(halved);
    buffer[i + 1] = uint8_t(halved >> 8);
  }
}

void halve24(uint8_t* buffer, uint32_t byteCount) {
  for (uint32_t i = 0; i + 2 < byteCount; i += 3) {
    int32_t sample = int32_t(uint32_t(buffer[i]) | (uint32_t(buffer[i + 1]) << 8) |
                             (uint32_t(buffer[i + 2]) << 16));
    if (sample & 0x800000) sample -= 0x1000000;  // sign-extend from 24 bits
    uint32_t halved = uint32_t(sample / 2);
    buffer[i] = uint8_t(halved);
    buffer[i + 1] = uint8_t(halved >> 8);
    buffer[i + 2] = uint8_t(halved >> 16);
  }
}

}  // namespace

void halveSamples(uint8_t* buffer, uint32_t byteCount, int bitsPerSample) {
  switch (bitsPerSample) {
    case 8: halve8(buffer, byteCount); break;
    case 16: halve16(buffer, byteCount); break;
    case 24: halve24(buffer, byteCount); break;
    default: break;
  }
}
