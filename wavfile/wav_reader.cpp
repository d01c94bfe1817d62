#include "wav_reader.h"

#include <new>

#include "sample_decoder.h"

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
  frameCount_ = framesRead_ = 0;
  repairs_ = SampleRepairs();
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

bool WavReader::openMemory(const uint8_t* bytes, size_t size) {
  close();
  error_.clear();
  input_.openMemory(bytes, size);
  return parse();
}

bool WavReader::parse() {
  if (!findWavLayout(input_, layout_, error_)) return fail(error_);
  uint8_t body[40] = {};
  uint32_t wanted = layout_.formatBytes < sizeof body ? layout_.formatBytes : uint32_t(sizeof body);
  if (!input_.readAt(layout_.formatOffset, body, wanted)) return fail("cannot read the fmt chunk: " + input_.error());
  WavFormatChunk chunk;
  if (!parseFormatChunk(body, layout_.formatBytes, chunk, error_)) return fail(error_);
  format_ = chunk.delivered;
  stored_ = chunk.stored;
  frameCount_ = layout_.dataBytes / uint64_t(stored_.frameBytes());  // a trailing partial frame is dropped
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
  return text;
}

std::string WavReader::storedDescription() const {
  return std::to_string(stored_.bitsPerSample) + "-bit " + encodingName(stored_.encoding) + " in " + container();
}

bool WavReader::readFrames(uint8_t* buffer, uint64_t frames) {
  const uint64_t storedFrameBytes = uint64_t(stored_.frameBytes());
  uint64_t offset = layout_.dataOffset + framesRead_ * storedFrameBytes;
  if (!needsDecoding(stored_)) return input_.readAt(offset, buffer, size_t(frames * storedFrameBytes));
  const uint64_t framesPerPiece = kScratchBytes / storedFrameBytes;
  const size_t deliveredFrameBytes = size_t(format_.frameBytes());
  while (frames > 0) {
    uint64_t piece = frames < framesPerPiece ? frames : framesPerPiece;
    if (!input_.readAt(offset, scratch_.get(), size_t(piece * storedFrameBytes))) return false;
    decodeSamples(stored_, scratch_.get(), size_t(piece) * size_t(stored_.channels), buffer, repairs_);
    offset += piece * storedFrameBytes;
    buffer += piece * deliveredFrameBytes;
    frames -= piece;
  }
  return true;
}

bool WavReader::read(uint8_t* buffer, uint32_t maxBytes, uint32_t& bytesRead) {
  bytesRead = 0;
  if (failed_) return false;
  if (format_.frameBytes() == 0) return true;  // nothing open
  uint64_t frames = maxBytes / uint32_t(format_.frameBytes());
  if (frames > frameCount_ - framesRead_) frames = frameCount_ - framesRead_;
  if (frames == 0) return true;
  if (!readFrames(buffer, frames)) {
    failed_ = true;
    error_ = input_.error();
    return false;
  }
  framesRead_ += frames;
  bytesRead = uint32_t(frames * uint64_t(format_.frameBytes()));
  return true;
}
