#pragma once
// MediaSample: refers to the data until the pin encodes it.
#include <cstdint>

#include "standin-engine/standin_object.h"

namespace standin {

struct MediaSampleObject : ViewOwner {
  MediaSampleObject();
  InterfaceView* viewFor(const Guid& iid) override {
    return (iid == kIidUnknown || iid == kIidMediaSample) ? sample : nullptr;
  }
  InterfaceView* sample;
  const void* data = nullptr;
  uint32_t bytes = 0;
  uint32_t timeMs = 0;
  uint32_t flags = 0;
  bool filled = false;
};

}  // namespace standin
