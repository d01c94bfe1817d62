#pragma once
// The object of engine slot 6: UnknownObject and TargetSettings.
#include "standin-engine/engine_state.h"

namespace standin {

struct TargetObject : EngineBound {
  explicit TargetObject(EngineRef state);
  InterfaceView* viewFor(const Guid& iid) override {
    if (iid == kIidUnknown) return unknown;
    return iid == kIidTargetSettings ? targets : nullptr;
  }
  InterfaceView* unknown;
  InterfaceView* targets;
};

}  // namespace standin
