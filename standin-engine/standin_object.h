#pragma once
// The stand-in's object model. Every object hands out views: interface
// pointers whose first member is the interface's table, followed by the
// object that owns them.
//
// An object whose count reaches 0 drops its resources and stays as a shell,
// so that a further release or call through it is reported instead of
// touching freed memory. Once every object of an engine is released, its
// conversion is over; its shells are kept while a few more conversions end
// (long enough for a late release to be caught), then freed, so that a
// process converting file after file keeps nothing of the files it finished.
// Shells released too often are kept for the reference report.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/build_engine.h"

namespace standin {

struct StandinObject;

struct InterfaceView {
  const void* vtbl;
  StandinObject* owner;
  const char* ifaceName;
};

struct StandinObject {
  explicit StandinObject(const char* kind);
  virtual ~StandinObject() = default;
  // The view answering iid, or null. kIidUnknown answers the primary view.
  virtual InterfaceView* viewFor(const Guid& iid) = 0;
  // Called when the count reaches 0: drop every resource.
  virtual void finalRelease() {}
  bool owns(const void* view) const;

  std::string name;
  std::string engineName;  // the engine that made it (itself for an engine), or empty
  uint32_t engineSerial = 0;  // that engine's number in the process, never reused; 0 for none
  uint32_t refs = 1;
  uint32_t overReleases = 0;
  std::vector<InterfaceView*> views;
};

// An object that made its own views and deletes them with itself.
struct ViewOwner : StandinObject {
  using StandinObject::StandinObject;
  ~ViewOwner() override {
    for (InterfaceView* v : views) delete v;
  }
};

InterfaceView* makeView(StandinObject* owner, const void* vtbl, const char* ifaceName);

// Finds the stand-in object behind an interface pointer the plug-in passes
// in, without trusting the pointer.
StandinObject* ownerOf(const void* view);

std::string nameOrNull(StandinObject* o);

}  // namespace standin
