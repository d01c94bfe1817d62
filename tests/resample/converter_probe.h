#pragma once

// The converter's test seam, and small helpers to drive a converter with
// synthetic PCM. The seam reads none of the running state: the tests check
// behaviour through the public interface.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "resample/convert_driver.h"
#include "resample/converter_plan.h"
#include "resample/sample_rate_converter.h"

struct ConverterTuning {
  // Before configure: the FFT filter's length search starts at length - 1
  // taps (16383 in the product); a small start gives small stage blocks at
  // low rates.
  static void useFftBaseLength(SampleRateConverter& c, int length) { c.fftBaseLength = length; }
  // After a successful configure: a reference to the converter's shared
  // filters; holding it keeps them designed for the next converter of the
  // same rate pair.
  static std::shared_ptr<const void> filters(const SampleRateConverter& c) { return c.driver->stages.filters; }
  // After a successful configure: moves both frame counters on, as if a
  // long stream had gone before.
  static void advanceCounters(SampleRateConverter& c, uint64_t frames) {
    c.driver->stages.framesDecoded += frames;
    c.driver->stages.framesEmitted += frames;
  }
};

// Result of one convertBlock call, owned.
struct Converted {
  bool ok = false;
  std::vector<uint8_t> bytes;
};

inline Converted convert(SampleRateConverter& c, const uint8_t* data, uint32_t count, bool end) {
  Converted result;
  uint8_t* out = nullptr;
  uint32_t n = count;
  result.ok = c.convertBlock(data, n, end, out);
  if (out != nullptr) {
    result.bytes.assign(out, out + n);
    delete[] out;
  } else if (n != 0) {
    result.ok = false;  // a count without a buffer is a fault
  }
  return result;
}

inline Converted convert(SampleRateConverter& c, const std::vector<uint8_t>& data, bool end) {
  return convert(c, data.data(), uint32_t(data.size()), end);
}

// Interleaved 16-bit PCM of `frames` frames whose every channel carries
// amplitude * sin(2 pi f n / rate) (channel k phase-shifted by k radians).
inline std::vector<uint8_t> sinePcm16(int frames, int channels, int rate, double frequency, double amplitude) {
  std::vector<uint8_t> pcm(size_t(frames) * channels * 2);
  for (int n = 0; n < frames; ++n) {
    for (int k = 0; k < channels; ++k) {
      const double v = amplitude * 32767.0 * std::sin(2.0 * M_PI * frequency * n / rate + k);
      const int16_t code = int16_t(std::lround(v));
      pcm[(size_t(n) * channels + k) * 2] = uint8_t(code & 0xFF);
      pcm[(size_t(n) * channels + k) * 2 + 1] = uint8_t((uint16_t(code) >> 8) & 0xFF);
    }
  }
  return pcm;
}

// Deterministic pseudo-random bytes (noise-like PCM of any width).
inline std::vector<uint8_t> noiseBytes(size_t count, uint32_t seed) {
  std::vector<uint8_t> bytes(count);
  uint32_t state = seed * 2654435761u + 1;
  for (uint8_t& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = uint8_t(state >> 24);
  }
  return bytes;
}

inline int64_t expectedStreamFrames(uint64_t inputFrames, int inRate, int outRate) {
  return int64_t(std::floor(double(inputFrames) * outRate / inRate)) + 2;
}
