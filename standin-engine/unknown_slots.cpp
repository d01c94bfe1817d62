#include "standin-engine/unknown_slots.h"

#include <cstdlib>

#include "standin-engine/standin_state.h"

namespace standin {

const UnknownObjectVtbl kUnknownVtbl = {UNKNOWN_SLOTS(UnknownObject)};

[[noreturn]] void RMBE_STDCALL reservedSlot(void* self) {
  CallHold hold;
  InterfaceView* view = viewOf(self);
  std::fprintf(stderr, "rmbe3260 stand-in: %s called through a slot the plug-in never uses\n",
               view->owner->name.c_str());
  appendLogLine("{\"iface\": " + jsonString(view->ifaceName) + ", \"note\": \"reserved slot called\"}");
  std::abort();  // the caller's stack no longer matches: stop here
}

}  // namespace standin
