#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/setting_rules.h"

// Command-line texts are UTF-8 (plughost reads the wide command line).
struct HostOptions {
  enum class Command { None, Help, Convert, Panel, Settings };
  Command command = Command::None;
  std::string pluginPath;               // empty: the plug-in beside plughost.exe
  uint32_t blockBytes = 64 * 1024;      // fixed block size when not random
  bool randomBlocks = false;
  uint32_t jobs = 1;                    // files converted at once, each on its own thread
  uint32_t randomSeed = 0;
  bool overwrite = false;               // replace outputs that exist already
  bool verbose = false;                 // each file's line also gives the plug-in's calls and codes
  std::vector<SettingOverride> settings;
  std::string outDir;                   // empty: beside each input
  std::vector<std::string> inputs;
  std::string screenshotPath;           // panel: save the window and close
};

// Most files converted at once (--jobs): one thread each, and a wait for
// several threads at a time is bounded by the Windows wait limit.
constexpr uint32_t kMaxJobs = 64;
// Largest fixed block (--block-bytes): far above any host's block, yet a
// buffer a 32-bit process can always get.
constexpr uint32_t kMaxBlockBytes = 64u << 20;

// Parses argv[1..]. False: `error` holds a one-line reason.
bool parseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error);

std::string hostUsage();
