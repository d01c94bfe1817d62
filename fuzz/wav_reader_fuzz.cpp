// Fuzz target of the WAV reader that plughost and srconv share.
//
// The input is a whole file image. It is opened from memory and, through a
// temporary file, from disk (every accepted file, one refused file in
// eight): both paths must agree on acceptance, format and
// data. An accepted file must describe a format the converter can take, and
// reading it in pieces of any size must deliver exactly dataBytes() of whole
// frames (decoded from what the file stores), byte for byte the same from
// memory and from disk. Read front to back as a stream, an accepted file
// gives the same, or is refused only for a fmt chunk behind its data.

#include <algorithm>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "wavfile/wav_reader.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "WAV reader property broken: %s\n", what);
  std::abort();
}

const std::string& scratchPath() {
  static const std::string path = "/tmp/wav_reader_fuzz." + std::to_string(getpid()) + ".wav";
  return path;
}

bool writeScratch(const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(scratchPath().c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

// Reads the whole data chunk in pieces whose sizes follow `step`.
std::vector<uint8_t> readAll(WavReader& reader, uint32_t step) {
  std::vector<uint8_t> all;
  // Room for at least two frames: a frame of many channels can pass 4 KiB.
  const uint32_t frameBytes = uint32_t(reader.format().frameBytes());
  const uint32_t span = std::max<uint32_t>(4096, 2 * frameBytes);
  std::vector<uint8_t> buffer(span);
  for (uint32_t round = 0;; ++round) {
    const uint32_t maxBytes = (step * (round + 1) * 2654435761u) % span;
    uint32_t got = 0;
    if (!reader.read(buffer.data(), maxBytes, got)) fail("read failed on an accepted file");
    if (got > maxBytes) fail("read more than asked");
    if (got % frameBytes != 0) fail("read a partial frame");
    all.insert(all.end(), buffer.begin(), buffer.begin() + got);
    // Zero bytes with room for a frame means the end of the data.
    if (got == 0 && maxBytes >= frameBytes) break;
    if (round > 1000000) fail("read never reaches the end");
  }
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WavReader fromMemory;
  const bool memoryOk = fromMemory.openMemory(data, size);
  if (!memoryOk && fromMemory.error().empty()) fail("refused without a reason");

  // The disk path costs a file write per input: it is compared on every
  // accepted file and on a sample of the refused ones.
  if (!memoryOk && size % 8 != 0) return 0;
  WavReader fromDisk;
  if (!writeScratch(data, size)) return 0;  // the machine's problem, not the reader's
  const bool diskOk = fromDisk.open(scratchPath().c_str());
  if (memoryOk != diskOk) fail("memory and disk disagree on acceptance");
  if (!memoryOk) {
    if (fromMemory.error() != fromDisk.error()) fail("memory and disk give different reasons");
    return 0;
  }

  const WavFormat& format = fromMemory.format();
  if (format.channels <= 0 || format.sampleRate <= 0) fail("accepted 0 channels or rate 0");
  if (format.bitsPerSample != 8 && format.bitsPerSample != 16 && format.bitsPerSample != 24)
    fail("accepted an unsupported width");
  if (fromDisk.format().channels != format.channels || fromDisk.format().sampleRate != format.sampleRate ||
      fromDisk.format().bitsPerSample != format.bitsPerSample)
    fail("memory and disk disagree on the format");
  const uint32_t frameBytes = uint32_t(format.frameBytes());
  if (fromMemory.dataBytes() % frameBytes != 0) fail("data is not whole frames");
  if (fromMemory.frameCount() * uint64_t(fromMemory.stored().frameBytes()) + 12 > size)
    fail("more data than the file holds");
  if (fromMemory.frameCount() != fromMemory.dataBytes() / frameBytes) fail("frame count");
  if (fromDisk.dataBytes() != fromMemory.dataBytes()) fail("memory and disk disagree on the data size");

  const std::vector<uint8_t> memoryBytes = readAll(fromMemory, size % 97 + 1);
  const std::vector<uint8_t> diskBytes = readAll(fromDisk, size % 89 + 3);
  if (memoryBytes.size() != fromMemory.dataBytes()) fail("memory delivered a different byte count");
  if (memoryBytes != diskBytes) fail("memory and disk delivered different bytes");
  if (fromMemory.bytesLeft() != 0 || fromDisk.bytesLeft() != 0) fail("bytes left after the end");

  WavReader fromStream;
  std::FILE* stream = std::fopen(scratchPath().c_str(), "rb");
  if (stream == nullptr) return 0;
  if (!fromStream.openStream(stream, true)) {
    if (fromStream.error().find("the fmt chunk follows the data chunk") == std::string::npos)
      fail("a stream refused an accepted file");
    return 0;
  }
  if (fromStream.format().frameBytes() != format.frameBytes() ||
      fromStream.format().channelMask != format.channelMask)
    fail("memory and stream disagree on the format");
  if (readAll(fromStream, size % 83 + 5) != memoryBytes) fail("memory and stream delivered different bytes");
  if (!fromStream.atEnd()) fail("a stream does not end with its data");
  return 0;
}
