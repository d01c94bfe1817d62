#pragma once
// Slots 0 to 2 (query, add a reference, release) shared by every interface
// of the stand-in, and the slot the plug-in never calls.
#include <cstdint>
#include <cstdio>

#include "engine/build_engine.h"
#include "standin-engine/standin_call.h"
#include "standin-engine/standin_state.h"

namespace standin {

template <class Iface>
int32_t RMBE_STDCALL queryInterfaceSlot(Iface* self, const Guid* iid, void** out) {
  BEGIN_CALL(self, 0);
  call.args.guid(iid);
  if (!out || !iid) return call.done(kResultPointer, "null argument");
  *out = nullptr;
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  InterfaceView* answer = object->viewFor(*iid);
  if (!answer) return call.done(kResultNoInterface);
  ++object->refs;
  *out = answer;
  call.args.text(answer->ifaceName);
  return call.done(kResultOk);
}

template <class Iface>
uint32_t RMBE_STDCALL addRefSlot(Iface* self) {
  BEGIN_CALL(self, 1);
  if (object->refs == 0) {
    call.done(0, "addRef on a released object");
    return 0;
  }
  ++object->refs;
  call.done(static_cast<int32_t>(object->refs));
  return object->refs;
}

template <class Iface>
uint32_t RMBE_STDCALL releaseSlot(Iface* self) {
  BEGIN_CALL(self, 2);
  if (object->refs == 0) {
    ++object->overReleases;
    std::fprintf(stderr, "rmbe3260 stand-in: %s released once too often\n", object->name.c_str());
    call.done(0, "released once too often");
    return 0;
  }
  if (--object->refs == 0) {
    object->finalRelease();
    noteFinalRelease(*object);
  }
  call.done(static_cast<int32_t>(object->refs));
  return object->refs;
}

// The table of a plain UnknownObject view.
extern const UnknownObjectVtbl kUnknownVtbl;

// Aborts: the caller's stack no longer matches.
[[noreturn]] void RMBE_STDCALL reservedSlot(void* self);

#define UNKNOWN_SLOTS(Iface) queryInterfaceSlot<Iface>, addRefSlot<Iface>, releaseSlot<Iface>

}  // namespace standin
