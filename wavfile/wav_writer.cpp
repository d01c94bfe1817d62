#include "wavfile/wav_writer.h"

#include <cerrno>
#include <cstring>

#include "wavfile/file_offset64.h"
#include "wavfile/little_endian.h"
#include "wavfile/wave_format_record.h"

namespace {

constexpr uint32_t kPlaceholder = 0xFFFFFFFFu;

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

bool WavWriter::checkFormat(const WavFormat& format) {
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
  return true;
}

bool WavWriter::open(const char* path, const WavFormat& format) {
  if (!checkFormat(format)) return false;
  file_ = std::fopen(path, "wb");
  if (file_ == nullptr) return fail(std::string("cannot create ") + path + ": " + std::strerror(errno));
  ownsFile_ = true;
  start_ = 0;
  return writeHeader();
}

bool WavWriter::openStream(std::FILE* stream, const WavFormat& format) {
  if (!checkFormat(format)) return false;
  file_ = stream;
  ownsFile_ = false;
  start_ = tellFile64(stream);
  return writeHeader();
}

bool WavWriter::writeHeader() {
  uint8_t header[68] = {};
  std::memcpy(header, "RIFF", 4);
  putLe32(header + 4, kPlaceholder);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  putLe32(header + 16, storeFormatRecord(format_, header + 20));
  std::memcpy(header + headerBytes() - 8, "data", 4);
  putLe32(header + headerBytes() - 4, kPlaceholder);
  if (std::fwrite(header, 1, headerBytes(), file_) != headerBytes()) return fail("cannot write the WAV header");
  return true;
}

bool WavWriter::write(const uint8_t* data, size_t byteCount) {
  if (file_ == nullptr || failed_) return fail("WAV file not open for writing");
  // RIFF size = header - 8 + data + pad byte must fit 32 bits, short of the placeholder.
  const uint32_t maxDataBytes = kPlaceholder - (headerBytes() - 8) - 2;
  if (byteCount > maxDataBytes - dataBytes_) return fail("WAV data would exceed the 4 GiB limit of the format");
  errno = 0;
  if (byteCount > 0 && std::fwrite(data, 1, byteCount, file_) != byteCount)
    return fail("write error: " + describeWriteError(errno));
  dataBytes_ += uint32_t(byteCount);
  return true;
}

// On a pipe the placeholders stay: readers take the data to run to the end.
bool WavWriter::patchSizes() {
  if (start_ < 0) return true;
  uint8_t riffSize[4], dataSize[4];
  putLe32(riffSize, headerBytes() - 8 + dataBytes_ + (dataBytes_ & 1u));
  putLe32(dataSize, dataBytes_);
  return seekFile64(file_, start_ + 4, SEEK_SET) && std::fwrite(riffSize, 1, 4, file_) == 4 &&
         seekFile64(file_, start_ + headerBytes() - 4, SEEK_SET) && std::fwrite(dataSize, 1, 4, file_) == 4 &&
         std::fflush(file_) == 0;
}

bool WavWriter::finish() {
  if ((dataBytes_ & 1u) != 0) {
    const uint8_t pad = 0;
    if (std::fwrite(&pad, 1, 1, file_) != 1) return false;
  }
  // Buffered data meets a full disk here at the latest.
  return std::fflush(file_) == 0 && patchSizes();
}

bool WavWriter::close() {
  if (file_ == nullptr) return !failed_;
  errno = 0;
  bool ok = !failed_ && finish();
  int error = errno;
  if (ownsFile_ && std::fclose(file_) != 0 && ok) {
    ok = false;
    error = errno;
  }
  file_ = nullptr;
  if (!ok) return fail("cannot finish the WAV file: " + describeWriteError(error));
  return true;
}
