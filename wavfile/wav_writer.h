#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "wav_format.h"

// One line for a failed write: "disk full" when the disk (or quota) is full,
// otherwise the system's text for errno value `error`.
std::string describeWriteError(int error);

// Writes a canonical 44-byte-header PCM WAVE file. The RIFF and data sizes
// are written as 0 at open and patched by close(), so the data can be
// streamed in pieces of any size.
class WavWriter {
 public:
  WavWriter() = default;
  ~WavWriter();  // closes (and patches) a file still open; errors are lost
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // Creates the file for 8-, 16- or 24-bit PCM of 1..65535 channels.
  bool open(const char* path, const WavFormat& format);
  // Appends interleaved PCM bytes. The data chunk is limited to what a
  // 32-bit RIFF size can describe.
  bool write(const uint8_t* data, size_t byteCount);
  // Pads the data to even length, patches the sizes and closes the file.
  bool close();

  uint32_t dataBytes() const { return dataBytes_; }
  const std::string& error() const { return error_; }

 private:
  bool fail(const std::string& reason);
  bool writeHeader();
  bool patchSize(long offset, uint32_t value);

  std::FILE* file_ = nullptr;
  WavFormat format_;
  uint32_t dataBytes_ = 0;
  bool failed_ = false;
  std::string error_;
};
