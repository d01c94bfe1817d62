#pragma once

#include <cstdint>
#include <string>

#include "wavfile/wav_format.h"

// The fmt chunk: how the file stores its samples and the PCM the reader
// makes of them. Integer PCM of 8, 16 or 24 bits is handed out as stored;
// 32-bit PCM and 32- or 64-bit floating point become 24-bit, A-law and µ-law
// 16-bit. Plain format tags and WAVE_FORMAT_EXTENSIBLE (with the matching
// sub-format) are both taken; the channel mask is the extensible record's, or
// the default for the count (windows/speaker_layout.h) for a plain one and for
// an extensible one whose mask is 0.
struct WavFormatChunk {
  WavStoredFormat stored;
  WavFormat delivered;
};

// body: the first min(size, 40) bytes of a fmt chunk of `size` bytes.
// False: error says why, as one line.
bool parseFormatChunk(const uint8_t* body, uint32_t size, WavFormatChunk& chunk, std::string& error);
