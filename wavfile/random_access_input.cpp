#include "wavfile/random_access_input.h"

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "wavfile/file_offset64.h"

namespace {

bool fileLength(std::FILE* file, uint64_t& length) {
  if (!seekFile64(file, 0, SEEK_END)) return false;
  long long end = tellFile64(file);
  if (end < 0) return false;
  length = static_cast<uint64_t>(end);
  return true;
}

}  // namespace

void RandomAccessInput::close() {
  if (file_ != nullptr && ownsFile_) std::fclose(file_);
  file_ = nullptr;
  ownsFile_ = true;
  streamed_ = streamEnded_ = false;
  buffered_.clear();
  bufferStart_ = 0;
  memory_ = nullptr;
  size_ = 0;
  position_ = UINT64_MAX;
}

bool RandomAccessInput::fail(const std::string& reason) {
  error_ = reason;
  return false;
}

bool RandomAccessInput::open(const char* path) {
  close();
  error_.clear();
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return fail(std::string("cannot open ") + path + ": " + std::strerror(errno));
  return openFile(file, true);
}

bool RandomAccessInput::openFile(std::FILE* file, bool closeWhenDone) {
  close();
  error_.clear();
  file_ = file;
  ownsFile_ = closeWhenDone;
  if (!fileLength(file_, size_)) return fail("cannot determine the size of the file (not a regular file?)");
  return true;
}

void RandomAccessInput::openMemory(const uint8_t* bytes, size_t size) {
  close();
  error_.clear();
  memory_ = bytes;
  size_ = size;
}

void RandomAccessInput::openStream(std::FILE* stream, bool closeWhenDone) {
  close();
  error_.clear();
  file_ = stream;
  ownsFile_ = closeWhenDone;
  streamed_ = true;
  size_ = UINT64_MAX;
}

// Makes buffered_ start at offset and hold count bytes, or all that is left
// of the stream when it ends first.
bool RandomAccessInput::bufferStream(uint64_t offset, size_t count) {
  if (offset < bufferStart_) return fail("a stream cannot go back (to byte " + std::to_string(offset) + ")");
  uint64_t drop = offset - bufferStart_;
  if (drop >= buffered_.size()) {
    drop -= buffered_.size();
    buffered_.clear();
    uint8_t skipped[4096];
    while (drop > 0 && !streamEnded_) {
      size_t piece = drop < sizeof skipped ? size_t(drop) : sizeof skipped;
      size_t got = std::fread(skipped, 1, piece, file_);
      drop -= got;
      streamEnded_ = got < piece;
    }
  } else {
    buffered_.erase(buffered_.begin(), buffered_.begin() + ptrdiff_t(drop));
  }
  bufferStart_ = offset;
  while (buffered_.size() < count && !streamEnded_) {
    size_t have = buffered_.size();
    buffered_.resize(count);
    size_t got = std::fread(buffered_.data() + have, 1, count - have, file_);
    buffered_.resize(have + got);
    streamEnded_ = got < count - have;
  }
  if (std::ferror(file_)) return fail(std::string("read error: ") + std::strerror(errno));
  return true;
}

// Takes what a look-ahead left, then reads the rest straight into
// destination, so that each byte is copied once.
bool RandomAccessInput::readStreamUpTo(uint64_t offset, uint8_t* destination, size_t count, size_t& got) {
  got = 0;
  if (!bufferStream(offset, 0)) return false;
  got = buffered_.size() < count ? buffered_.size() : count;
  if (got > 0) std::memcpy(destination, buffered_.data(), got);
  buffered_.erase(buffered_.begin(), buffered_.begin() + ptrdiff_t(got));
  if (got < count && !streamEnded_) {
    size_t wanted = count - got;
    size_t read = std::fread(destination + got, 1, wanted, file_);
    got += read;
    streamEnded_ = read < wanted;
  }
  bufferStart_ = offset + got;
  if (std::ferror(file_)) return fail(std::string("read error: ") + std::strerror(errno));
  return true;
}

bool RandomAccessInput::readUpTo(uint64_t offset, uint8_t* destination, size_t count, size_t& got) {
  if (streamed_) return readStreamUpTo(offset, destination, count, got);
  return available(offset, count, got) && readAt(offset, destination, got);
}

bool RandomAccessInput::available(uint64_t offset, size_t count, size_t& present) {
  present = 0;
  if (streamed_) {
    if (!bufferStream(offset, count)) return false;
    present = buffered_.size() < count ? buffered_.size() : count;
    return true;
  }
  if (offset <= size_) present = size_ - offset < count ? size_t(size_ - offset) : count;
  return true;
}

bool RandomAccessInput::peekAt(uint64_t offset, uint8_t* destination, size_t count) {
  if (!streamed_) return readAt(offset, destination, count);
  size_t present = 0;
  if (!available(offset, count, present)) return false;
  if (present < count)
    return fail("read error: the input ends after " + std::to_string(bufferStart_ + buffered_.size()) + " bytes");
  if (count > 0) std::memcpy(destination, buffered_.data(), count);
  return true;
}

bool RandomAccessInput::readAt(uint64_t offset, uint8_t* destination, size_t count) {
  if (streamed_) {
    size_t got = 0;
    if (!readStreamUpTo(offset, destination, count, got)) return false;
    if (got < count) return fail("read error: the input ends after " + std::to_string(offset + got) + " bytes");
    return true;
  }
  if (offset > size_ || count > size_ - offset) return fail("read beyond the end of the file");
  if (memory_ != nullptr) {
    if (count > 0) std::memcpy(destination, memory_ + offset, count);
    return true;
  }
  if (position_ != offset && !seekFile64(file_, static_cast<long long>(offset), SEEK_SET)) {
    position_ = UINT64_MAX;
    return fail(std::string("read error: cannot seek: ") + std::strerror(errno));
  }
  errno = 0;
  size_t got = std::fread(destination, 1, count, file_);
  position_ = offset + got;
  if (got == count) return true;
  if (std::ferror(file_)) {
    std::clearerr(file_);
    return fail(std::string("read error: ") + (errno != 0 ? std::strerror(errno) : "the system failed to read"));
  }
  std::clearerr(file_);
  return fail("read error: the file shrank while being read (it ends before byte " + std::to_string(offset + count) +
              " of " + std::to_string(size_) + ")");
}
