#include "wav_reader.h"

#include <cerrno>
#include <climits>
#include <cstring>

namespace {

constexpr uint32_t kRiffHeaderBytes = 12;  // "RIFF", size, "WAVE"
constexpr uint32_t kChunkHeaderBytes = 8;  // id, size
constexpr uint32_t kPlainFormatBytes = 16;
constexpr uint32_t kExtensibleFormatBytes = 40;
constexpr uint16_t kFormatPcm = 0x0001;
constexpr uint16_t kFormatFloat = 0x0003;
constexpr uint16_t kFormatExtensible = 0xFFFE;

// The sub-format GUID of extensible PCM is the format tag 1 as a 32-bit
// little-endian value followed by this fixed tail (bytes 4..15 of the GUID as
// stored in the file).
constexpr uint8_t kGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                   0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// A chunk id for messages: non-printable bytes become '?'.
std::string printableId(const uint8_t* id) {
  std::string text = "'";
  for (int i = 0; i < 4; ++i) text += (id[i] >= 0x20 && id[i] < 0x7F) ? char(id[i]) : '?';
  return text + "'";
}

std::string number(uint64_t value) { return std::to_string(value); }

bool isPcmSubformat(const uint8_t* guid) {
  return le32(guid) == kFormatPcm && std::memcmp(guid + 4, kGuidTail, sizeof kGuidTail) == 0;
}

int seekTo(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<long long>(offset), SEEK_SET);
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}

bool fileLength(std::FILE* file, uint64_t& length) {
#ifdef _WIN32
  if (_fseeki64(file, 0, SEEK_END) != 0) return false;
  long long end = _ftelli64(file);
#else
  if (fseeko(file, 0, SEEK_END) != 0) return false;
  off_t end = ftello(file);
#endif
  if (end < 0) return false;
  length = static_cast<uint64_t>(end);
  return true;
}

}  // namespace

WavReader::~WavReader() { close(); }

void WavReader::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  memory_ = nullptr;
  fileSize_ = 0;
  filePosition_ = UINT64_MAX;
  format_ = WavFormat();
  haveFormat_ = haveData_ = false;
  dataOffset_ = 0;
  dataBytes_ = dataRead_ = 0;
}

bool WavReader::fail(const std::string& reason) {
  close();
  error_ = reason;
  return false;
}

bool WavReader::open(const char* path) {
  close();
  error_.clear();
  file_ = std::fopen(path, "rb");
  if (file_ == nullptr) return fail(std::string("cannot open ") + path + ": " + std::strerror(errno));
  if (!fileLength(file_, fileSize_)) return fail("cannot determine the size of the file (not a regular file?)");
  return parse();
}

bool WavReader::openMemory(const uint8_t* bytes, size_t size) {
  close();
  error_.clear();
  memory_ = bytes;
  fileSize_ = size;
  return parse();
}

bool WavReader::readAt(uint64_t offset, uint8_t* destination, uint32_t count) {
  if (offset > fileSize_ || count > fileSize_ - offset) return false;
  if (memory_ != nullptr) {
    if (count > 0) std::memcpy(destination, memory_ + offset, count);
    return true;
  }
  if (filePosition_ != offset && seekTo(file_, offset) != 0) {
    filePosition_ = UINT64_MAX;
    return false;
  }
  size_t got = std::fread(destination, 1, count, file_);
  filePosition_ = offset + got;
  return got == count;
}

uint32_t WavReader::frameCount() const {
  int frameBytes = format_.frameBytes();
  return frameBytes > 0 ? dataBytes_ / uint32_t(frameBytes) : 0;
}

bool WavReader::parse() {
  if (fileSize_ == 0) return fail("empty file (0 bytes)");
  if (fileSize_ < kRiffHeaderBytes)
    return fail("file too short for a RIFF/WAVE header (" + number(fileSize_) + " bytes)");
  uint8_t header[kRiffHeaderBytes];
  if (!readAt(0, header, kRiffHeaderBytes)) return fail("cannot read the RIFF header");
  if (std::memcmp(header, "RIFF", 4) != 0) return fail("not a RIFF file (starts with " + printableId(header) + ")");
  uint32_t riffSize = le32(header + 4);
  if (riffSize < 4) return fail("RIFF size " + number(riffSize) + " leaves no room for the form type");
  uint64_t riffEnd = uint64_t(riffSize) + 8;
  if (riffEnd > fileSize_)
    return fail("RIFF size " + number(riffSize) + " runs past the end of the " + number(fileSize_) +
                "-byte file (truncated or wrong size)");
  if (std::memcmp(header + 8, "WAVE", 4) != 0)
    return fail("RIFF form is " + printableId(header + 8) + ", not 'WAVE'");
  if (!parseChunks(riffEnd)) return false;
  if (!haveFormat_) return fail("no fmt chunk");
  if (!haveData_) return fail("no data chunk");
  // A trailing partial frame is never delivered.
  dataBytes_ -= dataBytes_ % uint32_t(format_.frameBytes());
  dataRead_ = 0;
  return true;
}

// Walks the chunks inside the RIFF form until both fmt and data are known.
// Every chunk must lie inside the RIFF form, which itself lies inside the file.
bool WavReader::parseChunks(uint64_t riffEnd) {
  uint64_t offset = kRiffHeaderBytes;
  while (offset + kChunkHeaderBytes <= riffEnd && !(haveFormat_ && haveData_)) {
    uint8_t chunk[kChunkHeaderBytes];
    if (!readAt(offset, chunk, kChunkHeaderBytes)) return fail("cannot read a chunk header");
    uint32_t size = le32(chunk + 4);
    uint64_t body = offset + kChunkHeaderBytes;
    bool isFormat = std::memcmp(chunk, "fmt ", 4) == 0;
    bool isData = std::memcmp(chunk, "data", 4) == 0;
    if (body + size > fileSize_)
      return fail(printableId(chunk) + " chunk of " + number(size) + " bytes runs past the end of the file");
    if (body + size > riffEnd)
      return fail(printableId(chunk) + " chunk of " + number(size) + " bytes runs past the end of the RIFF form (RIFF size " +
                  number(riffEnd - 8) + " is wrong)");
    if (isFormat) {
      if (haveFormat_) return fail("more than one fmt chunk");
      if (!parseFormat(body, size)) return false;
      haveFormat_ = true;
    } else if (isData) {
      if (haveData_) return fail("more than one data chunk");
      haveData_ = true;
      dataOffset_ = body;
      dataBytes_ = size;
    }
    offset = body + size + (size & 1u);  // chunks are padded to even length
  }
  return true;
}

bool WavReader::parseFormat(uint64_t offset, uint32_t size) {
  if (size < kPlainFormatBytes)
    return fail("fmt chunk too short (" + number(size) + " bytes, at least 16 needed)");
  uint8_t fmt[kExtensibleFormatBytes] = {};
  uint32_t wanted = size < kExtensibleFormatBytes ? size : kExtensibleFormatBytes;
  if (!readAt(offset, fmt, wanted)) return fail("cannot read the fmt chunk");

  uint16_t tag = le16(fmt);
  uint16_t channels = le16(fmt + 2);
  uint32_t rate = le32(fmt + 4);
  uint16_t blockAlign = le16(fmt + 12);
  uint16_t bits = le16(fmt + 14);

  if (tag == kFormatExtensible) {
    if (size < kExtensibleFormatBytes)
      return fail("extensible fmt chunk too short (" + number(size) + " bytes, 40 needed)");
    uint16_t extraBytes = le16(fmt + 16);
    if (extraBytes < 22) return fail("extensible fmt extension too short (" + number(extraBytes) + " bytes, 22 needed)");
    if (!isPcmSubformat(fmt + 24)) return fail("not PCM (extensible sub-format " + number(le32(fmt + 24)) + ")");
    uint16_t validBits = le16(fmt + 18);
    if (validBits > bits)
      return fail("extensible valid bits " + number(validBits) + " exceed the " + number(bits) + "-bit container");
  } else if (tag == kFormatFloat) {
    return fail("not PCM (format tag 3, floating point)");
  } else if (tag != kFormatPcm) {
    return fail("not PCM (format tag " + number(tag) + ")");
  }

  if (channels == 0) return fail("0 channels");
  if (rate == 0) return fail("sample rate 0");
  if (rate > uint32_t(INT_MAX)) return fail("sample rate " + number(rate) + " out of range");
  if (bits != 8 && bits != 16 && bits != 24)
    return fail(number(bits) + "-bit samples are not supported (8, 16 or 24-bit PCM only)");
  uint32_t expectedAlign = uint32_t(channels) * (bits / 8u);
  if (blockAlign != expectedAlign)
    return fail("block alignment " + number(blockAlign) + " disagrees with " + number(channels) + " channels of " +
                number(bits) + " bits (" + number(expectedAlign) + " expected)");

  format_.channels = channels;
  format_.sampleRate = int(rate);
  format_.bitsPerSample = bits;
  return true;
}

bool WavReader::read(uint8_t* buffer, uint32_t maxBytes, uint32_t& bytesRead) {
  bytesRead = 0;
  if (!haveData_) return true;
  uint32_t frameBytes = uint32_t(format_.frameBytes());
  uint32_t count = maxBytes < bytesLeft() ? maxBytes : bytesLeft();
  count -= count % frameBytes;
  if (count == 0) return true;
  if (!readAt(dataOffset_ + dataRead_, buffer, count)) {
    error_ = "read error in the data chunk (file changed or unreadable)";
    return false;
  }
  dataRead_ += count;
  bytesRead = count;
  return true;
}
