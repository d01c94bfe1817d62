#pragma once
// A pin: UnknownObject (as the enumerator yields it), InputPin and PinSizeInfo.
#include <memory>

#include "standin-engine/engine_state.h"

namespace standin {

struct PinObject : EngineBound {
  PinObject(EngineRef state, std::shared_ptr<PinState> pinState);
  InterfaceView* viewFor(const Guid& iid) override {
    if (iid == kIidUnknown) return unknown;
    if (iid == kIidInputPin) return input;
    return iid == kIidPinSizeInfo ? sizeInfo : nullptr;
  }
  void finalRelease() override {
    EngineBound::finalRelease();
    pin.reset();
  }
  std::shared_ptr<PinState> pin;
  InterfaceView* unknown;
  InterfaceView* input;
  InterfaceView* sizeInfo;
};

}  // namespace standin
