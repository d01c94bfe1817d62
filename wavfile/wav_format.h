#pragma once

#include <cstdint>

// The PCM layout of a WAVE file's data chunk: interleaved frames, 8-bit
// samples unsigned (128 = silence), 16- and 24-bit samples signed
// little-endian.
struct WavFormat {
  int channels = 0;
  int sampleRate = 0;     // Hz
  int bitsPerSample = 0;  // 8, 16 or 24

  // Bytes of one frame (one sample of every channel).
  int frameBytes() const { return channels * (bitsPerSample / 8); }
};

// How a file stores its samples, which may differ from the PCM the reader
// hands out (see WavReader).
enum class WavEncoding { kPcm, kFloat, kALaw, kMuLaw };

struct WavStoredFormat {
  WavEncoding encoding = WavEncoding::kPcm;
  int bitsPerSample = 0;  // in the file: 8, 16, 24 or 32 (PCM), 32 or 64 (float), 8 (A-law, µ-law)
  int channels = 0;

  int frameBytes() const { return channels * (bitsPerSample / 8); }
};
