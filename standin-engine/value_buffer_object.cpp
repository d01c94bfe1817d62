#include "standin-engine/value_buffer_object.h"

#include "standin-engine/unknown_slots.h"

namespace standin {

namespace {

int32_t RMBE_STDCALL valueSetBytes(ValueBuffer* self, const void* bytes, uint32_t length) {
  BEGIN_CALL(self, 4);
  call.args.bytesText(bytes, bytes ? length : 0).num(length);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  if (!bytes && length > 0) return call.done(kResultPointer, "no bytes");
  static_cast<ValueBufferObject*>(object)->bytes.assign(static_cast<const char*>(bytes), length);
  return call.done(kResultOk);
}

const ValueBufferVtbl kValueBufferVtbl = {UNKNOWN_SLOTS(ValueBuffer), reservedSlot, valueSetBytes};

}  // namespace

ValueBufferObject::ValueBufferObject() : ViewOwner("Value") {
  buffer = makeView(this, &kValueBufferVtbl, "ValueBuffer");
}

}  // namespace standin
