#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "wavfile/random_access_input.h"
#include "wavfile/sample_decoder.h"
#include "wavfile/wav_format.h"
#include "wavfile/wav_format_chunk.h"
#include "wavfile/wav_layout.h"

// Reads the audio of a WAVE file piece by piece, as the integer PCM the
// plug-in accepts (8, 16 or 24 bits; format()), whatever the file stores
// (stored()): PCM of 8 to 32 bits, 32- or 64-bit floating point, A-law or
// µ-law (see sample_decoder.h for the conversions; floating-point values
// beyond +-1.0 are clipped to full scale and counted in repairs()),
// in a RIFF, RF64 or Wave64 container, sizes left as placeholders by
// streaming writers included (see wav_layout.h). A stream (a pipe, standard
// input) is read front to back: where its data runs to its end, the length
// is known only once that end is reached (lengthKnown()).
//
// The file is treated as hostile input: open() checks the whole chunk
// structure that leads to the data before anything is read, and refuses with
// a one-line reason (error()) anything it cannot read exactly: a file that is
// empty, truncated or not a WAVE file; a container size that disagrees with
// the file; a missing, repeated or short fmt or data chunk; a chunk that runs
// past the end of the file or of the form; an odd-sized chunk without its
// pad byte; an encoding it cannot decode; 0 channels; rate 0; an unsupported
// width; a block alignment that is not channels x width / 8.
//
// Only whole frames are delivered: a partial frame at the end of the data
// chunk is ignored. Bytes after the form (appended tags) are ignored.
//
// A read error (the system fails, or the file shrinks below the length it
// had at open) ends the data for good: read() returns false from then on,
// failed() is true and error() starts with "read error:". The data read
// until then is incomplete; callers must not treat it as a whole file.
class WavReader {
 public:
  WavReader() = default;
  WavReader(const WavReader&) = delete;
  WavReader& operator=(const WavReader&) = delete;

  // Opens and checks a file. False: error() says why and the reader is closed.
  bool open(const char* path);
  // The same on a file the caller opened; closeWhenDone: close() closes it.
  bool openFile(std::FILE* file, bool closeWhenDone);
  // The same checks on a file image in memory, which must outlive the reader.
  bool openMemory(const uint8_t* bytes, size_t size);
  // The same, front to back, on a stream; closeWhenDone: close() closes it.
  bool openStream(std::FILE* stream, bool closeWhenDone);
  void close();

  // What read() delivers.
  const WavFormat& format() const { return format_; }
  // What the file holds, and in which container ("RIFF", "RF64", "Wave64").
  const WavStoredFormat& stored() const { return stored_; }
  const char* container() const { return layout_.container; }
  // The header's sizes were placeholders: the data runs to the end of the file.
  bool streamed() const { return layout_.streamed; }
  // "32-bit float in RF64", for messages.
  std::string storedDescription() const;

  // Bytes of whole delivered frames in the data chunk: while the length is
  // not known, those delivered so far (and none left).
  bool lengthKnown() const { return lengthKnown_; }
  uint64_t dataBytes() const { return frameCount_ * uint64_t(format_.frameBytes()); }
  uint64_t frameCount() const { return frameCount_; }
  uint64_t bytesLeft() const { return (frameCount_ - framesRead_) * uint64_t(format_.frameBytes()); }

  // Delivers the next frames, at most maxBytes rounded down to whole frames,
  // to buffer. bytesRead is 0 at the end of the data. False on a read error
  // (see above).
  bool read(uint8_t* buffer, uint32_t maxBytes, uint32_t& bytesRead);
  // No whole frame is left (false on a read error: read() then says it).
  bool atEnd();
  bool failed() const { return failed_; }
  // Floating-point samples clipped or made silent so far; and "" or a line
  // that says so, and says when a data size of 0 was taken to run to the end
  // of the form (see wav_layout.h), for the caller to say once, at the end.
  const SampleRepairs& repairs() const { return repairs_; }
  std::string repairsDescription() const;

  const std::string& error() const { return error_; }

 private:
  bool fail(const std::string& reason);
  bool parse();
  bool readStored(uint64_t offset, uint8_t* destination, uint64_t frames, uint64_t& got);
  bool readFrames(uint8_t* buffer, uint64_t frames, uint64_t& got);
  bool findEnd(uint64_t frames);

  RandomAccessInput input_;
  WavLayout layout_;
  WavFormat format_;
  WavStoredFormat stored_;
  uint64_t frameCount_ = 0;
  uint64_t frameLimit_ = 0;  // what the data chunk's size allows
  uint64_t framesRead_ = 0;
  SampleRepairs repairs_;
  bool lengthKnown_ = true;
  bool failed_ = false;
  std::unique_ptr<uint8_t[]> scratch_;  // stored frames that need decoding
  std::string error_;
};
