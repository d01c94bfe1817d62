#pragma once
// PinProperties and, for the audio pin, AudioPinProperties.
#include <memory>

#include "standin-engine/engine_state.h"

namespace standin {

struct PinPropertiesObject : EngineBound {
  PinPropertiesObject(EngineRef state, std::shared_ptr<PinState> pinState);
  InterfaceView* viewFor(const Guid& iid) override {
    if (iid == kIidUnknown) return properties;
    return (iid == kIidAudioPinProperties && pin->isAudio()) ? audio : nullptr;
  }
  void finalRelease() override {
    EngineBound::finalRelease();
    pin.reset();
  }
  std::shared_ptr<PinState> pin;
  InterfaceView* properties;
  InterfaceView* audio;
};

}  // namespace standin
