#pragma once
// How the stand-in engine is configured: from the environment, read again
// whenever a library export is called while no stand-in object is alive.
//   RMBE_LOG          path: one JSON line per call received is appended
//   RMBE_PCM          path: the bytes of every accepted chunk are appended
//   RMBE_PINS         comma-separated MIME types of the pins listed, in
//                     order (default one "audio/x-pn-realaudio" pin);
//                     "none": the enumerator's first call returns 262162
//   RMBE_CHUNK_BYTES  preferred chunk size in bytes (default 4096)
//   RMBE_FAIL         comma-separated IFACE.SLOT[@N]=RESULT rules: the Nth
//                     call (1-based), or every call, of that interface slot
//                     returns RESULT (hex, e.g. 80004005) and does nothing
//   RMBE_PCM_PER_FILE set and not "0": the bytes of every accepted chunk are
//                     also appended to "<output file>.pcm"
//   RMBE_LOG_ENGINE   set and not "0": every call line of an object made by
//                     an engine names that engine ("engine": "Engine2")
//   RMBE_CODEC        "dnet" (the default): the audio is coded as AC-3;
//                     "pcm": the accepted 16-bit PCM is stored as it came
#include <cstdint>
#include <string>
#include <vector>

struct FaultRule {
  std::string iface;
  int slot = 0;
  uint32_t nthCall = 0;  // 0: every call
  int32_t result = 0;
};

// What the file's audio stream carries.
enum class StandinCodec { Dnet, Pcm };

struct StandinConfig {
  std::string logPath;
  std::string pcmPath;
  bool pcmPerFile = false;
  bool logEngine = false;
  std::vector<std::string> pinMimeTypes{"audio/x-pn-realaudio"};
  uint32_t chunkBytes = 4096;
  std::vector<FaultRule> faults;
  StandinCodec codec = StandinCodec::Dnet;
};

// Parses an RMBE_FAIL value; false (and rules untouched) on a malformed one.
bool parseFaultRules(const std::string& text, std::vector<FaultRule>& rules);

// Parses an RMBE_PINS value ("none" yields no pins).
std::vector<std::string> parsePinList(const std::string& text);

// Parses an RMBE_CODEC value ("dnet", "pcm", any case); false on another.
bool parseCodec(const std::string& text, StandinCodec& codec);

// Reads the environment. Malformed values are reported in `problems` and
// leave the default in place.
StandinConfig readStandinConfig(std::string& problems);
