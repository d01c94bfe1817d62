#pragma once

#include <cstdint>

// The PCM layout of a WAVE file's data chunk: interleaved frames, 8-bit
// samples unsigned (128 = silence), 16- and 24-bit samples signed
// little-endian, and the speakers the channels belong to (see
// windows/speaker_layout.h; the reader gives the default for the count when
// a file names none).
struct WavFormat {
  int channels = 0;
  int sampleRate = 0;     // Hz
  int bitsPerSample = 0;  // 8, 16 or 24
  uint32_t channelMask = 0;

  // Bytes of one frame (one sample of every channel).
  int frameBytes() const { return channels * (bitsPerSample / 8); }
  // The plain PCM description is only for one or two channels of 8 or 16
  // bits; anything else is described with WAVE_FORMAT_EXTENSIBLE.
  bool needsExtensible() const { return channels > 2 || bitsPerSample > 16; }
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
