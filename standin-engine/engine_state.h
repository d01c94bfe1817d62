#pragma once
// What one engine knows: its phase, its settings, its pins and the file it
// writes. Every object an engine makes shares it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/build_engine.h"
#include "standin-engine/rm_writer.h"
#include "standin-engine/standin_object.h"

namespace standin {

struct PinState {
  std::string mimeType;
  uint32_t sampleRate = 0;
  uint32_t bitsPerSample = 0;
  uint32_t channels = 0;
  bool isAudio() const { return mimeType == kAudioMimeType; }
};

enum class Phase { Configuring, Prepared, Ended };

struct EngineState {
  ~EngineState() { writer.abandon(); }
  std::string engineName;
  uint32_t engineSerial = 0;
  Phase phase = Phase::Configuring;
  bool audioContentEnabled = false;
  std::string outputFile;
  RmClipInfo clip;
  int32_t audioFormat = -1;
  std::vector<int32_t> audiences;
  std::vector<std::shared_ptr<PinState>> pins;
  uint32_t lastTimeMs = 0;
  RmFileWriter writer;
};

using EngineRef = std::shared_ptr<EngineState>;

// The refusal note for a setting changed outside configuration, or null.
inline const char* refuseUnlessConfiguring(const EngineState& engine) {
  if (engine.phase == Phase::Configuring) return nullptr;
  return engine.phase == Phase::Prepared ? "setting changed after prepare" : "setting changed after end";
}

// An object an engine made: it keeps the engine's state while referenced.
struct EngineBound : ViewOwner {
  EngineBound(const char* kind, EngineRef state) : ViewOwner(kind), engine(std::move(state)) {
    engineName = engine->engineName;
    engineSerial = engine->engineSerial;
  }
  void finalRelease() override { engine.reset(); }
  EngineRef engine;
};

}  // namespace standin
