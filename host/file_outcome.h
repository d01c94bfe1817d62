#pragma once
#include <cstdint>
#include <string>

// What one file's conversion saw, for its line.
struct FileOutcome {
  int32_t createError = 0;
  bool readFailed = false;
  std::string readError;
  bool interrupted = false;
  std::string diskFull;  // said at the first failure, while the engine's file still takes its room
  uint32_t blockCalls = 0;
  uint32_t failedBlockCalls = 0;
  uint64_t bytesSent = 0;
};
