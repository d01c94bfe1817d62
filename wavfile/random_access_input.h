#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A file, or a file image in memory, read at any offset. Its length is taken
// once at open; a later read that finds less (the file shrank) or that the
// system fails is an error, told apart in error().
//
// A stream (a pipe, standard input) is read front to back instead: offsets
// never go back, bytes skipped over are read and dropped, and its length
// (size()) counts as unlimited until it ends. Only what a look ahead read is
// held; the rest goes straight into the reader's buffer.
class RandomAccessInput {
 public:
  RandomAccessInput() = default;
  ~RandomAccessInput() { close(); }
  RandomAccessInput(const RandomAccessInput&) = delete;
  RandomAccessInput& operator=(const RandomAccessInput&) = delete;

  bool open(const char* path);  // false: error() says why
  // The same on a file the caller opened; closeWhenDone: close() closes it.
  bool openFile(std::FILE* file, bool closeWhenDone);
  void openMemory(const uint8_t* bytes, size_t size);
  // closeWhenDone: close() closes the stream (else it stays the caller's).
  void openStream(std::FILE* stream, bool closeWhenDone);
  void close();

  bool isStream() const { return streamed_; }
  uint64_t size() const { return size_; }
  // Reads exactly count bytes at offset. False: error() says why (an offset
  // beyond the length taken at open is the caller's fault, not an I/O error).
  bool readAt(uint64_t offset, uint8_t* destination, size_t count);
  // The same, but a stream keeps the bytes for the next read: a look ahead.
  bool peekAt(uint64_t offset, uint8_t* destination, size_t count);
  // How many of the count bytes at offset there are (fewer only where the
  // input ends). False on a read error.
  bool available(uint64_t offset, size_t count, size_t& present);
  // Reads up to count bytes at offset: `got` is count except where the input
  // ends first. False on a read error.
  bool readUpTo(uint64_t offset, uint8_t* destination, size_t count, size_t& got);
  const std::string& error() const { return error_; }

 private:
  bool fail(const std::string& reason);
  bool readStreamUpTo(uint64_t offset, uint8_t* destination, size_t count, size_t& got);
  bool bufferStream(uint64_t offset, size_t count);

  std::FILE* file_ = nullptr;
  bool ownsFile_ = true;
  bool streamed_ = false;
  bool streamEnded_ = false;
  std::vector<uint8_t> buffered_;  // a stream's bytes from bufferStart_ on that a look-ahead read
  uint64_t bufferStart_ = 0;
  const uint8_t* memory_ = nullptr;
  uint64_t size_ = 0;
  uint64_t position_ = UINT64_MAX;  // where the stdio stream stands
  std::string error_;
};
