#pragma once
// The engine: BuildEngine, with ClassFactory and MetadataSource as views of
// the same object.
#include "standin-engine/engine_state.h"

namespace standin {

struct EngineObject : EngineBound {
  EngineObject();
  InterfaceView* viewFor(const Guid& iid) override {
    if (iid == kIidUnknown) return engineView;
    if (iid == kIidClassFactory) return factory;
    return iid == kIidMetadataSource ? metadata : nullptr;
  }
  InterfaceView* engineView;
  InterfaceView* factory;
  InterfaceView* metadata;
};

}  // namespace standin
