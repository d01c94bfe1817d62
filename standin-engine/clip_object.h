#pragma once
// ClipProperties: the clip's flags and texts and the output file name.
#include "standin-engine/engine_state.h"

namespace standin {

struct ClipObject : EngineBound {
  explicit ClipObject(EngineRef state);
  InterfaceView* viewFor(const Guid& iid) override { return iid == kIidUnknown ? clip : nullptr; }
  InterfaceView* clip;
};

}  // namespace standin
