#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// A file, or a file image in memory, read at any offset. Its length is taken
// once at open; a later read that finds less (the file shrank) or that the
// system fails is an error, told apart in error().
class RandomAccessInput {
 public:
  RandomAccessInput() = default;
  ~RandomAccessInput() { close(); }
  RandomAccessInput(const RandomAccessInput&) = delete;
  RandomAccessInput& operator=(const RandomAccessInput&) = delete;

  bool open(const char* path);  // false: error() says why
  void openMemory(const uint8_t* bytes, size_t size);
  void close();

  uint64_t size() const { return size_; }
  // Reads exactly count bytes at offset. False: error() says why (an offset
  // beyond the length taken at open is the caller's fault, not an I/O error).
  bool readAt(uint64_t offset, uint8_t* destination, size_t count);
  const std::string& error() const { return error_; }

 private:
  bool fail(const std::string& reason);

  std::FILE* file_ = nullptr;
  const uint8_t* memory_ = nullptr;
  uint64_t size_ = 0;
  uint64_t position_ = UINT64_MAX;  // where the stdio stream stands
  std::string error_;
};
