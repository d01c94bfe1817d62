#include "standin-engine/standin_object.h"

#include "standin-engine/standin_state.h"

namespace standin {

StandinObject::StandinObject(const char* kind) {
  int number = ++globals().kindCounters[kind];
  name = std::string(kind) + std::to_string(number);
  globals().objects.push_back(this);
}

bool StandinObject::owns(const void* view) const {
  for (const InterfaceView* v : views)
    if (v == view) return true;
  return false;
}

InterfaceView* makeView(StandinObject* owner, const void* vtbl, const char* ifaceName) {
  InterfaceView* view = new InterfaceView{vtbl, owner, ifaceName};
  owner->views.push_back(view);
  return view;
}

StandinObject* ownerOf(const void* view) {
  if (!view) return nullptr;
  for (StandinObject* o : globals().objects)
    if (o->owns(view)) return o;
  return nullptr;
}

std::string nameOrNull(StandinObject* o) { return o ? o->name : std::string("null"); }

}  // namespace standin
