#pragma once
// The Windows description of interleaved integer PCM, as the compression
// object builds it for the formats on either side of the ACM converter.
#include <windows.h>

#include <mmreg.h>

#include <cstdint>

inline WAVEFORMATEX pcmWaveFormat(uint32_t channels, uint32_t rate, uint32_t bitsPerSample) {
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = WORD(channels);
  format.nSamplesPerSec = DWORD(rate);
  format.wBitsPerSample = WORD(bitsPerSample);
  format.nBlockAlign = WORD(bitsPerSample * channels / 8);
  format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
  format.cbSize = 0;
  return format;
}
