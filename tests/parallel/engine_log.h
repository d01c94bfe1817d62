#pragma once
// What the stand-in engine's call log (RMBE_LOG with RMBE_LOG_ENGINE set)
// says about each output file: the settings its engine was given.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The settings one engine received, as a comparable tuple.
struct EngineSettings {
  int64_t sampleRate = -1;       // AudioPinProperties slot 4
  int64_t channels = -1;         // AudioPinProperties slot 8
  int64_t audioFormat = -1;      // TargetSettings slot 9
  int64_t multiRate = -1;        // BuildEngine slot 11
  std::vector<int64_t> audiences;  // TargetSettings slot 3 after the last clear (slot 5)
  int settingCalls = 0;          // calls above, counted: each is expected once (audiences aside)

  bool operator==(const EngineSettings& other) const {
    return sampleRate == other.sampleRate && channels == other.channels && audioFormat == other.audioFormat &&
           multiRate == other.multiRate && audiences == other.audiences;
  }
};

std::string describe(const EngineSettings& settings);

// Output file path (as the plug-in named it) -> the settings its engine got.
// A line belongs to the engine it names; an engine name counts from its
// creation (the stand-in restarts its names when it falls idle).
std::map<std::string, EngineSettings> settingsByOutputFile(const std::string& logPath);
