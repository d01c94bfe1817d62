#include "wavfile/sample_decoder.h"

#include <cmath>
#include <cstring>

#include "wavfile/little_endian.h"

namespace {

constexpr int32_t kMax24 = 8388607;
constexpr int32_t kMin24 = -8388608;

void put24(uint8_t* out, int32_t value) {
  out[0] = uint8_t(value);
  out[1] = uint8_t(value >> 8);
  out[2] = uint8_t(value >> 16);
}

void put16(uint8_t* out, int value) {
  out[0] = uint8_t(value);
  out[1] = uint8_t(value >> 8);
}

int32_t floatTo24(double value, SampleRepairs& repairs) {
  if (std::isnan(value)) {
    ++repairs.silenced;
    return 0;
  }
  if (value > 1.0 || value < -1.0) {
    ++repairs.clipped;
    return value > 0 ? kMax24 : kMin24;
  }
  // +1.0 itself is full scale, not a clip.
  long scaled = std::lrint(value * 8388608.0);
  return scaled > kMax24 ? kMax24 : int32_t(scaled);
}

// Round to nearest; only the top values would round past 24 bits.
int32_t int32To24(int32_t value) {
  int64_t rounded = (int64_t(value) + 128) >> 8;
  return rounded > kMax24 ? kMax24 : int32_t(rounded);
}

// G.711: sign, 3-bit segment and 4-bit step; even bits inverted (A-law),
// all bits inverted (µ-law).
int expandALaw(uint8_t code) {
  int bits = code ^ 0x55;
  int segment = (bits >> 4) & 7;
  int step = bits & 0x0F;
  int magnitude = segment == 0 ? (step << 4) + 8 : ((step << 4) + 0x108) << (segment - 1);
  return (bits & 0x80) != 0 ? magnitude : -magnitude;
}

int expandMuLaw(uint8_t code) {
  int bits = ~code & 0xFF;
  int segment = (bits >> 4) & 7;
  int step = bits & 0x0F;
  int magnitude = (((step << 3) + 0x84) << segment) - 0x84;
  return (bits & 0x80) != 0 ? -magnitude : magnitude;
}

void decodeFloat(int bits, const uint8_t* in, size_t count, uint8_t* out, SampleRepairs& repairs) {
  for (size_t i = 0; i < count; ++i) {
    double value;
    if (bits == 32) {
      uint32_t word = le32(in + 4 * i);
      float single;
      std::memcpy(&single, &word, 4);
      value = single;
    } else {
      uint64_t word = le64(in + 8 * i);
      std::memcpy(&value, &word, 8);
    }
    put24(out + 3 * i, floatTo24(value, repairs));
  }
}

}  // namespace

void decodeSamples(const WavStoredFormat& stored, const uint8_t* in, size_t count, uint8_t* out,
                   SampleRepairs& repairs) {
  switch (stored.encoding) {
    case WavEncoding::kPcm:
      if (stored.bitsPerSample <= 24) {
        std::memmove(out, in, count * size_t(stored.bitsPerSample / 8));
      } else {
        for (size_t i = 0; i < count; ++i) put24(out + 3 * i, int32To24(int32_t(le32(in + 4 * i))));
      }
      return;
    case WavEncoding::kFloat:
      return decodeFloat(stored.bitsPerSample, in, count, out, repairs);
    case WavEncoding::kALaw:
      for (size_t i = 0; i < count; ++i) put16(out + 2 * i, expandALaw(in[i]));
      return;
    case WavEncoding::kMuLaw:
      for (size_t i = 0; i < count; ++i) put16(out + 2 * i, expandMuLaw(in[i]));
      return;
  }
}
