#pragma once

#include <cstddef>
#include <cstdint>

#include "wavfile/wav_format.h"

// Turns stored samples into the integer PCM the reader hands out:
// - 8-, 16- and 24-bit PCM: copied;
// - 32-bit PCM: rounded to 24 bits;
// - floating point: scaled by 2^23 and rounded to 24 bits; values beyond
//   +-1.0 are clipped to full scale and NaN (no value at all) becomes 0,
//   silence; each is counted in `repairs`;
// - A-law and µ-law: expanded to 16 bits as G.711 defines.
struct SampleRepairs {
  uint64_t clipped = 0;  // beyond +-1.0, infinities included
  uint64_t silenced = 0; // NaN
};
void decodeSamples(const WavStoredFormat& stored, const uint8_t* in, size_t sampleCount, uint8_t* out,
                   SampleRepairs& repairs);
