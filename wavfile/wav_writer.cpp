#include "wav_writer.h"

#include <cerrno>
#include <cstring>

namespace {

constexpr uint32_t kHeaderBytes = 44;
constexpr long kRiffSizeOffset = 4;
constexpr long kDataSizeOffset = 40;
// RIFF size = 36 + data + pad byte must fit 32 bits.
constexpr uint32_t kMaxDataBytes = 0xFFFFFFFFu - 36u - 1u;

void putLe16(uint8_t* p, uint32_t value) {
  p[0] = uint8_t(value);
  p[1] = uint8_t(value >> 8);
}

void putLe32(uint8_t* p, uint32_t value) {
  putLe16(p, value);
  putLe16(p + 2, value >> 16);
}

}  // namespace

std::string describeWriteError(int error) {
  if (error == ENOSPC) return "disk full";
#ifdef EDQUOT
  if (error == EDQUOT) return "disk full (quota exceeded)";
#endif
  return error != 0 ? std::strerror(error) : "the system failed to write";
}

WavWriter::~WavWriter() {
  if (file_ != nullptr) close();
}

bool WavWriter::fail(const std::string& reason) {
  failed_ = true;
  if (error_.empty()) error_ = reason;
  return false;
}

bool WavWriter::open(const char* path, const WavFormat& format) {
  if (file_ != nullptr) close();
  error_.clear();
  failed_ = false;
  dataBytes_ = 0;
  bool widthOk = format.bitsPerSample == 8 || format.bitsPerSample == 16 || format.bitsPerSample == 24;
  if (!widthOk) return fail("cannot write " + std::to_string(format.bitsPerSample) + "-bit WAV data (8, 16 or 24 only)");
  if (format.channels < 1 || format.channels > 65535 || format.frameBytes() > 65535)
    return fail("cannot write a WAV file of " + std::to_string(format.channels) + " channels");
  if (format.sampleRate <= 0) return fail("cannot write a WAV file at rate " + std::to_string(format.sampleRate));
  format_ = format;
  file_ = std::fopen(path, "wb");
  if (file_ == nullptr) return fail(std::string("cannot create ") + path + ": " + std::strerror(errno));
  return writeHeader();
}

bool WavWriter::writeHeader() {
  uint8_t header[kHeaderBytes];
  uint32_t frameBytes = uint32_t(format_.frameBytes());
  std::memcpy(header, "RIFF", 4);
  putLe32(header + 4, 36 + dataBytes_);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  putLe32(header + 16, 16);
  putLe16(header + 20, 1);  // PCM
  putLe16(header + 22, uint32_t(format_.channels));
  putLe32(header + 24, uint32_t(format_.sampleRate));
  putLe32(header + 28, uint32_t(format_.sampleRate) * frameBytes);
  putLe16(header + 32, frameBytes);
  putLe16(header + 34, uint32_t(format_.bitsPerSample));
  std::memcpy(header + 36, "data", 4);
  putLe32(header + 40, dataBytes_);
  if (std::fwrite(header, 1, kHeaderBytes, file_) != kHeaderBytes) return fail("cannot write the WAV header");
  return true;
}

bool WavWriter::write(const uint8_t* data, size_t byteCount) {
  if (file_ == nullptr || failed_) return fail("WAV file not open for writing");
  if (byteCount > kMaxDataBytes - dataBytes_) return fail("WAV data would exceed the 4 GiB limit of the format");
  errno = 0;
  if (byteCount > 0 && std::fwrite(data, 1, byteCount, file_) != byteCount)
    return fail("write error: " + describeWriteError(errno));
  dataBytes_ += uint32_t(byteCount);
  return true;
}

bool WavWriter::patchSize(long offset, uint32_t value) {
  uint8_t bytes[4];
  putLe32(bytes, value);
  return std::fseek(file_, offset, SEEK_SET) == 0 && std::fwrite(bytes, 1, 4, file_) == 4;
}

bool WavWriter::close() {
  if (file_ == nullptr) return !failed_;
  bool ok = !failed_;
  errno = 0;
  if (ok && (dataBytes_ & 1u) != 0) {
    const uint8_t pad = 0;
    ok = std::fwrite(&pad, 1, 1, file_) == 1;
  }
  uint32_t riffSize = 36 + dataBytes_ + (dataBytes_ & 1u);
  // Buffered data meets a full disk here at the latest.
  ok = ok && std::fflush(file_) == 0 && patchSize(kRiffSizeOffset, riffSize) && patchSize(kDataSizeOffset, dataBytes_);
  int error = errno;
  if (std::fclose(file_) != 0 && ok) {
    ok = false;
    error = errno;
  }
  file_ = nullptr;
  if (!ok) return fail("cannot finish the WAV file: " + describeWriteError(error));
  return true;
}
