#pragma once
// One call received by a stand-in object: it holds the process-wide lock,
// counts the call, applies the fault rules and logs it on completion.
#include <cstdint>
#include <string>

#include "engine/build_engine.h"
#include "standin-engine/call_lock.h"
#include "standin-engine/json_text.h"
#include "standin-engine/standin_object.h"

namespace standin {

constexpr int32_t kResultNoAggregation = static_cast<int32_t>(0x80040110u);
constexpr int32_t kResultClassNotAvailable = static_cast<int32_t>(0x80040111u);
constexpr int32_t kResultInvalidArgument = static_cast<int32_t>(0x80070057u);

class Call {
 public:
  Call(const char* iface, const std::string* objectName, int slot, const std::string& engineName = std::string());
  JsonArgs args;
  // The injected result for this call, if a fault rule matches.
  bool injected(int32_t& result) const;
  int32_t done(int32_t result, const char* note = nullptr);

 private:
  CallHold hold_;  // first member: taken before anything is counted or read
  std::string iface_;
  std::string objectName_;
  std::string engineName_;
  std::string key_;
  int slot_;
  uint32_t callNumber_;
};

inline InterfaceView* viewOf(void* self) { return static_cast<InterfaceView*>(self); }

// Opens a call through `self`: logs and refuses calls through released objects.
#define BEGIN_CALL(self, slot)                                          \
  InterfaceView* view = viewOf(self);                                  \
  StandinObject* object = view->owner;                                 \
  Call call(view->ifaceName, &object->name, slot, object->engineName)

#define REFUSE_IF_RELEASED()                                                      \
  if (object->refs == 0) return call.done(kResultUnexpected, "call through a released object")

#define INJECT_FAULT(...)                     \
  do {                                        \
    int32_t injectedResult = 0;               \
    if (call.injected(injectedResult)) {      \
      __VA_ARGS__;                            \
      return call.done(injectedResult, "injected"); \
    }                                         \
  } while (0)

}  // namespace standin
