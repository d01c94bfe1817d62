// The library's exports: the contract's two and the three test exports.
#include <algorithm>
#include <cstring>
#include <string>

#include "engine/build_engine.h"
#include "standin-engine/engine_object.h"
#include "standin-engine/standin_call.h"
#include "standin-engine/standin_control.h"
#include "standin-engine/standin_state.h"

using namespace standin;

namespace {

constexpr size_t kMaxAccessPathBytes = 65536;

std::string accessPathEntries(const char* paths) {
  std::string json = "[";
  size_t offset = 0;
  while (paths && offset < kMaxAccessPathBytes && paths[offset] != '\0') {
    size_t length = ::strnlen(paths + offset, kMaxAccessPathBytes - offset);
    if (json.size() > 1) json += ", ";
    json += jsonString(paths + offset, length);
    offset += length + 1;
  }
  return json + "]";
}

}  // namespace

extern "C" int32_t RMBE_STDCALL RMACreateRMBuildEngine(BuildEngine** engine) {
  CallHold hold;
  reloadConfigIfIdle();
  Call call("Library", nullptr, 0);
  if (!engine) return call.done(kResultPointer, "null out pointer");
  *engine = nullptr;
  INJECT_FAULT();
  auto* made = new EngineObject();
  *engine = reinterpret_cast<BuildEngine*>(made->engineView);
  call.args.name(&made->name);
  return call.done(kResultOk);
}

extern "C" int32_t RMBE_STDCALL SetDLLAccessPath(const char* paths) {
  CallHold hold;
  reloadConfigIfIdle();
  Call call("Library", nullptr, 1);
  call.args.raw(accessPathEntries(paths));
  INJECT_FAULT();
  if (!paths) return call.done(kResultPointer, "no list");
  return call.done(kResultOk);
}

extern "C" int RmbeLiveObjects(void) {
  CallHold hold;
  return liveObjectCount();
}

extern "C" int RmbeOverReleases(void) {
  CallHold hold;
  return overReleaseCount();
}

extern "C" int RmbeLeakReport(char* buffer, int size) {
  CallHold hold;
  const std::string report = referenceReport();
  if (buffer && size > 0) {
    size_t n = std::min<size_t>(report.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, report.data(), n);
    buffer[n] = '\0';
  }
  return static_cast<int>(report.size());
}
