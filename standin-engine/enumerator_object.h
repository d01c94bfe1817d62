#pragma once
// PinEnumerator: yields a new pin object for each of the engine's pins.
#include <cstddef>

#include "standin-engine/engine_state.h"

namespace standin {

struct EnumeratorObject : EngineBound {
  explicit EnumeratorObject(EngineRef state);
  InterfaceView* viewFor(const Guid& iid) override { return iid == kIidUnknown ? pins : nullptr; }
  InterfaceView* pins;
  size_t next = 0;
};

}  // namespace standin
