#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The command line of srconv, parsed but not yet checked against the
// converter's abilities.
struct Options {
  bool wavMode = false;  // two file arguments: IN.wav OUT.wav
  std::string inputPath;
  std::string outputPath;
  int inputRate = 0;   // raw mode only
  int outputRate = 0;
  int channels = 0;    // raw mode only
  int bitsPerSample = 0;  // raw mode only
  uint32_t blockBytes = 65536;
  std::vector<uint32_t> blockList;  // --blocks: sizes in turn, then the rest
  bool useBlockList = false;
  bool printInfo = false;
  bool showHelp = false;
};

// The largest host block srconv hands to the converter in one call.
constexpr uint32_t kMaxBlockBytes = 1u << 26;

// False with a one-line reason for a malformed command line.
bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error);

const char* usageText();
