#pragma once

#include <cstdint>
#include <string>

#include "wavfile/random_access_input.h"

// Where a WAVE file keeps its fmt and data chunks. Three containers carry the
// same chunks: RIFF (32-bit sizes), RF64/BW64 (32-bit sizes overridden by a
// leading ds64 chunk, for files past 4 GiB) and Wave64 (GUID ids, 64-bit
// sizes, 8-byte alignment).
//
// Writers that stream to a pipe cannot go back to fill in the sizes and
// leave placeholders: a form size of 0 or all ones (or 0x7FFFF0xx), a data
// size of all ones, or, in such a form, 0 or one that runs past the end of
// the file. Such data runs to the end of the file (or of the form, when its
// size is real). So does a data size of 0 in a form of real size when what
// follows is not a chunk (an id, a size inside the form): a size its writer
// never filled in, rather than a truly empty data chunk. Any other size must
// be true: every chunk lies inside the form, and the form inside the file.
// Only one fmt and one data chunk may lie in the form.
//
// A stream (RandomAccessInput::isStream) is walked up to its data chunk,
// which must follow the fmt chunk there; its end is the stream's end.
struct WavLayout {
  const char* container = "RIFF";
  // A size placeholder was resolved to the file's end; for a stream, the
  // data ends at dataBytes or at the stream's end, whichever comes first.
  bool streamed = false;
  // Of those, the data size was 0 in a form of real size (see above).
  bool dataSizeUnset = false;
  uint64_t formatOffset = 0;
  uint32_t formatBytes = 0;
  uint8_t formatBody[40] = {};  // the fmt chunk's first min(formatBytes, 40) bytes
  uint64_t dataOffset = 0;
  uint64_t dataBytes = 0;
};

// False: error says why, as one line.
bool findWavLayout(RandomAccessInput& input, WavLayout& layout, std::string& error);
