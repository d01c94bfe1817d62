#pragma once
// ValueBuffer: a byte string the plug-in fills for a property.
#include <string>

#include "standin-engine/standin_object.h"

namespace standin {

struct ValueBufferObject : ViewOwner {
  ValueBufferObject();
  InterfaceView* viewFor(const Guid& iid) override {
    return (iid == kIidUnknown || iid == kIidValueBuffer) ? buffer : nullptr;
  }
  void finalRelease() override { std::string().swap(bytes); }
  InterfaceView* buffer;
  std::string bytes;
};

}  // namespace standin
