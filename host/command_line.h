#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One "--set NAME=VALUE": a plug-in setting written to the registry before
// the plug-in is loaded. `name` always carries the "ZVKRM" prefix.
struct SettingOverride {
  std::string name;
  std::string value;
  bool isText = false;   // REG_SZ (only ZVKRMExt); otherwise REG_DWORD
  uint32_t number = 0;   // the REG_DWORD value
};

struct HostOptions {
  enum class Command { None, Convert, Panel };
  Command command = Command::None;
  std::string pluginPath;               // empty: the plug-in beside plughost.exe
  uint32_t blockBytes = 64 * 1024;      // fixed block size when not random
  bool randomBlocks = false;
  uint32_t jobs = 1;                    // files converted at once, each on its own thread
  uint32_t randomSeed = 0;
  std::vector<SettingOverride> settings;
  std::string outDir;                   // empty: beside each input
  std::vector<std::string> inputs;
  std::string screenshotPath;           // panel: save the window and close
};

// Most files converted at once (--jobs): one thread each, and a wait for
// several threads at a time is bounded by the Windows wait limit.
constexpr uint32_t kMaxJobs = 64;

// Parses argv[1..]. False: `error` holds a one-line reason.
bool parseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error);

const char* hostUsage();
