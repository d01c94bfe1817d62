#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "wav_format.h"

// Reads the PCM data of a RIFF/WAVE file piece by piece.
//
// The file is treated as hostile input: open() checks the whole chunk
// structure that leads to the data before anything is read, and refuses with
// a one-line reason (error()) anything it cannot read exactly: a file that is
// empty, truncated or not RIFF/WAVE; a RIFF size that disagrees with the
// file; a missing, repeated or short fmt or data chunk; a chunk that runs past
// the end of the file or of the RIFF; a non-PCM format; 0 channels; rate 0;
// a sample width other than 8, 16 or 24 bits; a block alignment that is not
// channels x width / 8. WAVE_FORMAT_EXTENSIBLE is accepted when its
// sub-format is PCM.
//
// Only whole frames are delivered: a partial frame at the end of the data
// chunk is ignored. Bytes after the RIFF form (appended tags) are ignored.
class WavReader {
 public:
  WavReader() = default;
  ~WavReader();
  WavReader(const WavReader&) = delete;
  WavReader& operator=(const WavReader&) = delete;

  // Opens and checks a file. False: error() says why and the reader is closed.
  bool open(const char* path);
  // The same checks on a file image in memory, which must outlive the reader.
  bool openMemory(const uint8_t* bytes, size_t size);
  void close();

  const WavFormat& format() const { return format_; }
  // Bytes of whole frames in the data chunk.
  uint32_t dataBytes() const { return dataBytes_; }
  uint32_t frameCount() const;
  uint32_t bytesLeft() const { return dataBytes_ - dataRead_; }

  // Copies the next data bytes, at most maxBytes rounded down to whole
  // frames, to buffer. bytesRead is 0 at the end of the data. False when the
  // file could not be read (error() says why).
  bool read(uint8_t* buffer, uint32_t maxBytes, uint32_t& bytesRead);

  const std::string& error() const { return error_; }

 private:
  bool fail(const std::string& reason);
  bool measureFile();
  bool readAt(uint64_t offset, uint8_t* destination, uint32_t count);
  bool parse();
  bool parseChunks(uint64_t riffEnd);
  bool parseFormat(uint64_t offset, uint32_t size);

  std::FILE* file_ = nullptr;
  const uint8_t* memory_ = nullptr;
  uint64_t fileSize_ = 0;
  uint64_t filePosition_ = UINT64_MAX;  // where the stdio stream stands

  WavFormat format_;
  bool haveFormat_ = false;
  bool haveData_ = false;
  uint64_t dataOffset_ = 0;  // file offset of the first data byte
  uint32_t dataBytes_ = 0;
  uint32_t dataRead_ = 0;
  std::string error_;
};
