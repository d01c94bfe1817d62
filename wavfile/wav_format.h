#pragma once

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
