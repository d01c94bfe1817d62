#include "wavfile/wav_reader.h"

#include <new>

#include "wavfile/sample_decoder.h"

namespace {

// Room for stored frames that are decoded on their way to the caller; one
// frame is at most 65535 bytes (a 16-bit block alignment).
constexpr size_t kScratchBytes = 1u << 16;

bool needsDecoding(const WavStoredFormat& stored) {
  return stored.encoding != WavEncoding::kPcm || stored.bitsPerSample > 24;
}

const char* encodingName(WavEncoding encoding) {
  switch (encoding) {
    case WavEncoding::kPcm: return "PCM";
    case WavEncoding::kFloat: return "float";
    case WavEncoding::kALaw: return "A-law";
    case WavEncoding::kMuLaw: return "µ-law";
  }
  return "?";
}

}  // namespace

void WavReader::close() {
  input_.close();
  layout_ = WavLayout();
  format_ = WavFormat();
  stored_ = WavStoredFormat();
  frameCount_ = framesRead_ = frameLimit_ = 0;
  repairs_ = SampleRepairs();
  lengthKnown_ = true;
  failed_ = false;
}

bool WavReader::fail(const std::string& reason) {
  close();
  error_ = reason;
  return false;
}

bool WavReader::open(const char* path) {
  close();
  error_.clear();
  if (!input_.open(path)) return fail(input_.error());
  return parse();
}

bool WavReader::openFile(std::FILE* file, bool closeWhenDone) {
  close();
  error_.clear();
  if (!input_.openFile(file, closeWhenDone)) return fail(input_.error());
  return parse();
}

bool WavReader::openMemory(const uint8_t* bytes, size_t size) {
  close();
  error_.clear();
  input_.openMemory(bytes, size);
  return parse();
}

bool WavReader::openStream(std::FILE* stream, bool closeWhenDone) {
  close();
  error_.clear();
  input_.openStream(stream, closeWhenDone);
  return parse();
}

bool WavReader::parse() {
  if (!findWavLayout(input_, layout_, error_)) return fail(error_);
  WavFormatChunk chunk;
  if (!parseFormatChunk(layout_.formatBody, layout_.formatBytes, chunk, error_)) return fail(error_);
  format_ = chunk.delivered;
  stored_ = chunk.stored;
  // A stream's data that runs to its end has a length only once it ends.
  lengthKnown_ = !(input_.isStream() && layout_.streamed);
  frameLimit_ = layout_.dataBytes / uint64_t(stored_.frameBytes());  // a trailing partial frame is dropped
  if (lengthKnown_) frameCount_ = frameLimit_;
  if (needsDecoding(stored_)) {
    scratch_.reset(new (std::nothrow) uint8_t[kScratchBytes]);
    if (!scratch_) return fail("out of memory");
  }
  return true;
}

std::string WavReader::repairsDescription() const {
  std::string text;
  if (repairs_.clipped > 0)
    text = std::to_string(repairs_.clipped) + " floating-point samples beyond full scale clipped to it";
  if (repairs_.silenced > 0)
    text += (text.empty() ? "" : ", ") + std::to_string(repairs_.silenced) +
            " NaN samples (no number at all) made silent (0)";
  if (!layout_.dataSizeUnset) return text;
  return "the data chunk's size is 0 (its writer never filled it in): read the " + std::to_string(dataBytes()) +
         " bytes after it, to the end of the " + container() + " form, as its audio" + (text.empty() ? "" : "; ") +
         text;
}

// Where a stream's data runs to its end, looks ahead for `frames` frames:
// finding fewer (or none asked: the data chunk's size is reached), the
// data's end is known.
bool WavReader::findEnd(uint64_t frames) {
  const uint64_t storedFrameBytes = uint64_t(stored_.frameBytes());
  const size_t wanted = size_t(frames * storedFrameBytes);
  size_t present = 0;
  if (!input_.available(layout_.dataOffset + framesRead_ * storedFrameBytes, wanted, present)) {
    failed_ = true;
    error_ = input_.error();
    return false;
  }
  if (present < wanted || frames == 0) {
    lengthKnown_ = true;
    frameCount_ = framesRead_ + present / storedFrameBytes;
  }
  return true;
}

bool WavReader::atEnd() {
  if (failed_) return false;
  if (!lengthKnown_ && !findEnd(framesRead_ < frameLimit_ ? 1 : 0)) return false;
  return lengthKnown_ && framesRead_ == frameCount_;
}

std::string WavReader::storedDescription() const {
  return std::to_string(stored_.bitsPerSample) + "-bit " + encodingName(stored_.encoding) + " in " + container();
}

// The stored bytes of up to `frames` frames at offset: all of them where the
// length is known; otherwise as many as the stream still has (`got` whole
// frames; a partial frame at its end is dropped).
bool WavReader::readStored(uint64_t offset, uint8_t* destination, uint64_t frames, uint64_t& got) {
  const uint64_t storedFrameBytes = uint64_t(stored_.frameBytes());
  got = frames;
  if (lengthKnown_) return input_.readAt(offset, destination, size_t(frames * storedFrameBytes));
  size_t present = 0;
  if (!input_.readUpTo(offset, destination, size_t(frames * storedFrameBytes), present)) return false;
  got = present / storedFrameBytes;
  return true;
}

// Delivers up to `frames` frames from the read position, decoded where
// needed; fewer (`got`) only where a stream's data ends.
bool WavReader::readFrames(uint8_t* buffer, uint64_t frames, uint64_t& got) {
  const uint64_t storedFrameBytes = uint64_t(stored_.frameBytes());
  uint64_t offset = layout_.dataOffset + framesRead_ * storedFrameBytes;
  if (!needsDecoding(stored_)) return readStored(offset, buffer, frames, got);
  const uint64_t framesPerPiece = kScratchBytes / storedFrameBytes;
  const size_t deliveredFrameBytes = size_t(format_.frameBytes());
  got = 0;
  while (got < frames) {
    uint64_t piece = frames - got < framesPerPiece ? frames - got : framesPerPiece;
    uint64_t pieceGot = 0;
    if (!readStored(offset, scratch_.get(), piece, pieceGot)) return false;
    decodeSamples(stored_, scratch_.get(), size_t(pieceGot) * size_t(stored_.channels), buffer, repairs_);
    offset += pieceGot * storedFrameBytes;
    buffer += pieceGot * deliveredFrameBytes;
    got += pieceGot;
    if (pieceGot < piece) break;  // the stream's data ended
  }
  return true;
}

// Where a stream's data runs to its end, its frames are read as they come,
// straight into buffer: fewer than asked, and the data's end is known.
bool WavReader::read(uint8_t* buffer, uint32_t maxBytes, uint32_t& bytesRead) {
  bytesRead = 0;
  if (failed_) return false;
  if (format_.frameBytes() == 0) return true;  // nothing open
  uint64_t frames = maxBytes / uint32_t(format_.frameBytes());
  if (!lengthKnown_) {
    if (frames > frameLimit_ - framesRead_) frames = frameLimit_ - framesRead_;
    if (framesRead_ == frameLimit_ && !findEnd(0)) return false;
  }
  if (lengthKnown_ && frames > frameCount_ - framesRead_) frames = frameCount_ - framesRead_;
  if (frames == 0) return true;
  uint64_t got = 0;
  if (!readFrames(buffer, frames, got)) {
    failed_ = true;
    error_ = input_.error();
    return false;
  }
  framesRead_ += got;
  if (!lengthKnown_) {
    frameCount_ = framesRead_;
    lengthKnown_ = got < frames;
  }
  bytesRead = uint32_t(got * uint64_t(format_.frameBytes()));
  return true;
}
