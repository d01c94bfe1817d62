#include "standin-engine/enumerator_object.h"

#include "standin-engine/pin_object.h"
#include "standin-engine/unknown_slots.h"

namespace standin {

namespace {

int32_t enumeratePin(PinEnumerator* self, int slot, UnknownObject** out, bool restart) {
  BEGIN_CALL(self, slot);
  if (!out) return call.done(kResultPointer, "null out pointer");
  *out = nullptr;
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  auto* enumerator = static_cast<EnumeratorObject*>(object);
  if (restart) enumerator->next = 0;
  if (enumerator->next >= enumerator->engine->pins.size()) {
    call.args.raw("null");
    return call.done(kResultNoMorePins);
  }
  auto* pin = new PinObject(enumerator->engine, enumerator->engine->pins[enumerator->next++]);
  *out = reinterpret_cast<UnknownObject*>(pin->unknown);
  call.args.name(&pin->name);
  return call.done(kResultOk);
}

int32_t RMBE_STDCALL enumFirst(PinEnumerator* s, UnknownObject** out) { return enumeratePin(s, 3, out, true); }
int32_t RMBE_STDCALL enumNext(PinEnumerator* s, UnknownObject** out) { return enumeratePin(s, 4, out, false); }

const PinEnumeratorVtbl kEnumeratorVtbl = {UNKNOWN_SLOTS(PinEnumerator), enumFirst, enumNext};

}  // namespace

EnumeratorObject::EnumeratorObject(EngineRef state) : EngineBound("Enum", std::move(state)) {
  pins = makeView(this, &kEnumeratorVtbl, "PinEnumerator");
}

}  // namespace standin
