#include "standin-engine/standin_call.h"

#include <cstring>

#include "standin-engine/standin_state.h"

namespace standin {

Call::Call(const char* iface, const std::string* objectName, int slot, const std::string& engineName)
    : iface_(iface), objectName_(objectName ? *objectName : std::string()), engineName_(engineName), slot_(slot) {
  key_ = std::string(iface) + "." + std::to_string(slot);
  callNumber_ = ++globals().callCounts[key_];
}

bool Call::injected(int32_t& result) const {
  for (const FaultRule& rule : globals().config.faults) {
    if (rule.iface == iface_ && rule.slot == slot_ && (rule.nthCall == 0 || rule.nthCall == callNumber_)) {
      result = rule.result;
      return true;
    }
  }
  return false;
}

int32_t Call::done(int32_t result, const char* note) {
  std::string line = "{\"iface\": " + jsonString(iface_) + ", \"obj\": " + jsonString(objectName_) +
                     ", \"slot\": " + std::to_string(slot_) + ", \"args\": [" + args.str() +
                     "], \"result\": " + std::to_string(result);
  if (globals().config.logEngine && !engineName_.empty()) line += ", \"engine\": " + jsonString(engineName_);
  if (note) line += ", \"note\": " + jsonString(note, std::strlen(note));
  appendLogLine(line + "}");
  return result;
}

}  // namespace standin
