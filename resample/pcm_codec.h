#pragma once

// Integer PCM <-> doubles for the converter's stages.
//
// Decoding scales by 1/127, 1/32767 or 1/8388607 (8-bit samples are
// unsigned with 128 as zero; 16/24-bit are signed little-endian), so the most
// negative code decodes slightly below -1. Encoding scales back by the same
// full-scale value, rounds half away from zero and clips to the code range,
// so decode followed by encode gives back every code.

#include <cmath>
#include <cstddef>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pcm {

constexpr double kScale8 = 1.0 / 127.0;
constexpr double kScale16 = 1.0 / 32767.0;
constexpr double kScale24 = 1.0 / 8388607.0;

inline int32_t fullScale(int bytesPerSample) {
  return bytesPerSample == 1 ? 127 : bytesPerSample == 2 ? 32767 : 8388607;
}

// Rounds `scaled` half away from zero and clips it to [-fullScale - 1, fullScale]:
// trunc(scaled + 0.5) for scaled >= 0, trunc(scaled - 0.5) below (the sum
// rounded to double first), NaN giving 0. The clipping is decided on the
// unrounded sum r (trunc(r) > highest exactly when r >= highest + 1, and
// trunc(r) < lowest exactly when r <= lowest - 1), so what is left fits
// an int32 and the conversion's truncation is the rounding; no input is
// undefined behaviour.
inline int32_t roundAndClip(double scaled, int32_t fullScaleCode) {
  // Adding a half of the value's sign is the same sum without a branch on
  // the sign, which audio makes unpredictable; -0.0 gives -0.5, which
  // truncates to 0 as 0.5 does.
  const double r = scaled + std::copysign(0.5, scaled);
  if (r != r) return 0;
  if (r >= double(fullScaleCode) + 1.0) return fullScaleCode;
  if (r <= -double(fullScaleCode) - 2.0) return -fullScaleCode - 1;
  return int32_t(r);
}

// Decodes `sampleCount` samples of `bytesPerSample` (1, 2 or 3) bytes each.
inline void decodeSamples(const uint8_t* bytes, int bytesPerSample, size_t sampleCount, double* samples) {
  switch (bytesPerSample) {
    case 1:
      for (size_t k = 0; k < sampleCount; ++k) samples[k] = double(int(bytes[k]) - 128) * kScale8;
      break;
    case 2:
      for (size_t k = 0; k < sampleCount; ++k) {
        const int16_t code = int16_t(uint16_t(bytes[2 * k] | (bytes[2 * k + 1] << 8)));
        samples[k] = double(code) * kScale16;
      }
      break;
    default:
      for (size_t k = 0; k < sampleCount; ++k) {
        const uint8_t* p = bytes + 3 * k;
        int32_t code = int32_t(p[0]) | (int32_t(p[1]) << 8) | (int32_t(int8_t(p[2])) * 65536);
        samples[k] = double(code) * kScale24;
      }
      break;
  }
}

// encodeSamples for 16 bits, four samples at a time in SSE2 lanes, the same
// codes as roundAndClip: the sum clipped to [-32768, 32767] before the
// truncation gives what clipping after it gives, and NaN is cleared to 0
// first. Returns how many samples it encoded (a multiple of four).
inline size_t encode16InLanes(const double* samples, size_t sampleCount, uint8_t* bytes) {
  size_t k = 0;
#if defined(__SSE2__)
  const __m128d gain = _mm_set1_pd(32767.0), half = _mm_set1_pd(0.5), sign = _mm_set1_pd(-0.0);
  const __m128d highest = _mm_set1_pd(32767.0), lowest = _mm_set1_pd(-32768.0);
  auto codes = [&](const double* two) {
    const __m128d scaled = _mm_mul_pd(_mm_loadu_pd(two), gain);
    __m128d r = _mm_add_pd(scaled, _mm_or_pd(half, _mm_and_pd(scaled, sign)));
    r = _mm_and_pd(r, _mm_cmpord_pd(r, r));
    return _mm_cvttpd_epi32(_mm_min_pd(_mm_max_pd(r, lowest), highest));
  };
  for (; k + 4 <= sampleCount; k += 4) {
    const __m128i four = _mm_unpacklo_epi64(codes(samples + k), codes(samples + k + 2));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(bytes + 2 * k), _mm_packs_epi32(four, four));
  }
#else
  (void)samples;
  (void)sampleCount;
  (void)bytes;
#endif
  return k;
}

// Encodes `sampleCount` doubles (full scale +-1) into PCM codes.
inline void encodeSamples(const double* samples, int bytesPerSample, size_t sampleCount, uint8_t* bytes) {
  const int32_t scale = fullScale(bytesPerSample);
  const double gain = double(scale);
  switch (bytesPerSample) {
    case 1:
      for (size_t k = 0; k < sampleCount; ++k) bytes[k] = uint8_t(roundAndClip(samples[k] * gain, scale) + 128);
      break;
    case 2:
      for (size_t k = encode16InLanes(samples, sampleCount, bytes); k < sampleCount; ++k) {
        const uint16_t code = uint16_t(roundAndClip(samples[k] * gain, scale));
        bytes[2 * k] = uint8_t(code & 0xFF);
        bytes[2 * k + 1] = uint8_t(code >> 8);
      }
      break;
    default:
      for (size_t k = 0; k < sampleCount; ++k) {
        const uint32_t code = uint32_t(roundAndClip(samples[k] * gain, scale));
        bytes[3 * k] = uint8_t(code & 0xFF);
        bytes[3 * k + 1] = uint8_t((code >> 8) & 0xFF);
        bytes[3 * k + 2] = uint8_t((code >> 16) & 0xFF);
      }
      break;
  }
}

}  // namespace pcm
