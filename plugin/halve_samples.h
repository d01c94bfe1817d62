#pragma once
#include <cstdint>

// Halves the amplitude of every sample in place, truncating toward zero.
// Used on stereo PCM that is coded as mono, just before the two channels are
// summed into one: halving first keeps the sum inside the sample range.
//   8 bits: unsigned, zero level 128: v becomes 128 + (v - 128) / 2;
//   16 and 24 bits: signed little-endian: s becomes s / 2.
// Any other width is left unchanged. A partial sample at the end is left as
// it is.
void halveSamples(uint8_t* buffer, uint32_t byteCount, int bitsPerSample);
