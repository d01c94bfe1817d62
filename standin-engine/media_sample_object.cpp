#include "standin-engine/media_sample_object.h"

#include "standin-engine/unknown_slots.h"

namespace standin {

namespace {

int32_t RMBE_STDCALL sampleSetData(MediaSample* self, const void* data, uint32_t bytes, uint32_t timeMs,
                                   uint32_t flags) {
  BEGIN_CALL(self, 3);
  call.args.num(bytes).num(timeMs).num(flags);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  if (!data && bytes > 0) return call.done(kResultPointer, "no data");
  auto* sample = static_cast<MediaSampleObject*>(object);
  sample->data = data;
  sample->bytes = bytes;
  sample->timeMs = timeMs;
  sample->flags = flags;
  sample->filled = true;
  return call.done(kResultOk);
}

const MediaSampleVtbl kMediaSampleVtbl = {UNKNOWN_SLOTS(MediaSample), sampleSetData};

}  // namespace

MediaSampleObject::MediaSampleObject() : ViewOwner("Sample") {
  sample = makeView(this, &kMediaSampleVtbl, "MediaSample");
}

}  // namespace standin
