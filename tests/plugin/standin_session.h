#pragma once
// Drives the stand-in engine (rmbe3260.dll beside the test program) through
// its environment and reads back what it received: the log of calls and the
// PCM of every accepted chunk.
#include <cstdint>
#include <string>
#include <vector>

// One MediaSample fill: a chunk offered to the engine.
struct OfferedChunk {
  uint32_t bytes = 0;
  uint32_t timeMs = 0;
};

class StandinSession {
public:
  // Clears every RMBE_ variable, then points RMBE_LOG and RMBE_PCM into a
  // fresh temporary folder.
  StandinSession();
  ~StandinSession();

  void setChunkBytes(uint32_t bytes);
  void setFaults(const std::string& rules);  // RMBE_FAIL

  std::string outputPath(const std::string& baseName) const;  // in the temporary folder
  std::vector<uint8_t> acceptedPcm() const;
  std::vector<OfferedChunk> offeredChunks() const;
  // Time stamps of the chunks the engine accepted, in order.
  std::vector<uint32_t> acceptedTimeStamps() const;
  size_t logLineCount() const;
  // Stand-in objects still holding references (0 after a clean teardown).
  static int liveObjects();

private:
  std::vector<std::string> logLines() const;
  std::string folder;
};
