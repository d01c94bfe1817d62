#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "wavfile/wav_format.h"

// One line for a failed write: "disk full" when the disk (or quota) is full,
// otherwise the system's text for errno value `error`.
std::string describeWriteError(int error);

// Writes a canonical PCM WAVE file: a 44-byte header for one or two
// channels of 8 or 16 bits, otherwise a 68-byte one with WAVE_FORMAT_EXTENSIBLE
// carrying the format's channel mask. The RIFF and data sizes are written as
// placeholders (all ones, what a writer to a pipe leaves) and patched by
// close() where the output can seek, so the data can be streamed in pieces
// of any size, to a file or to a pipe.
class WavWriter {
 public:
  WavWriter() = default;
  ~WavWriter();  // closes (and patches) a file still open; errors are lost
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // Creates the file for 8-, 16- or 24-bit PCM of 1..65535 channels.
  bool open(const char* path, const WavFormat& format);
  // The same on a stream opened by the caller (standard output, say), which
  // close() flushes but leaves open.
  bool openStream(std::FILE* stream, const WavFormat& format);
  // Appends interleaved PCM bytes. The data chunk is limited to what a
  // 32-bit RIFF size can describe.
  bool write(const uint8_t* data, size_t byteCount);
  // Pads the data to even length, patches the sizes (where the output can
  // seek) and closes the file.
  bool close();

  uint32_t dataBytes() const { return dataBytes_; }
  const std::string& error() const { return error_; }

 private:
  bool fail(const std::string& reason);
  bool checkFormat(const WavFormat& format);
  bool writeHeader();
  bool patchSizes();
  bool finish();
  uint32_t headerBytes() const { return format_.needsExtensible() ? 68u : 44u; }

  std::FILE* file_ = nullptr;
  bool ownsFile_ = false;
  long long start_ = -1;  // where the header lies; -1: the output cannot seek
  WavFormat format_;
  uint32_t dataBytes_ = 0;
  bool failed_ = false;
  std::string error_;
};
