#include "standin-engine/engine_object.h"

#include <cstring>

#include "standin-engine/audience_bit_rate.h"
#include "standin-engine/clip_object.h"
#include "standin-engine/enumerator_object.h"
#include "standin-engine/media_sample_object.h"
#include "standin-engine/property_set_object.h"
#include "standin-engine/standin_state.h"
#include "standin-engine/target_object.h"
#include "standin-engine/unknown_slots.h"
#include "standin-engine/value_buffer_object.h"

namespace standin {

namespace {

EngineState& stateOf(StandinObject* object) { return *static_cast<EngineObject*>(object)->engine; }

template <class Made, class OutIface>
int32_t makeEngineObject(BuildEngine* self, int slot, OutIface** out) {
  BEGIN_CALL(self, slot);
  if (!out) return call.done(kResultPointer, "null out pointer");
  *out = nullptr;
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  auto* made = new Made(static_cast<EngineObject*>(object)->engine);
  *out = reinterpret_cast<OutIface*>(made->views.front());
  call.args.name(&made->name);
  return call.done(kResultOk);
}

int32_t RMBE_STDCALL engineEnumerator(BuildEngine* s, PinEnumerator** out) {
  return makeEngineObject<EnumeratorObject>(s, 3, out);
}
int32_t RMBE_STDCALL engineClip(BuildEngine* s, ClipProperties** out) { return makeEngineObject<ClipObject>(s, 4, out); }
int32_t RMBE_STDCALL engineTargets(BuildEngine* s, UnknownObject** out) { return makeEngineObject<TargetObject>(s, 6, out); }

int32_t RMBE_STDCALL engineRealTime(BuildEngine* self, int32_t enabled) {
  BEGIN_CALL(self, 9);
  call.args.num(enabled);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  if (const char* refusal = refuseUnlessConfiguring(stateOf(object))) return call.done(kResultUnexpected, refusal);
  if (enabled) return call.done(kResultInvalidArgument, "real-time coding is not offered");
  return call.done(kResultOk);
}

int32_t RMBE_STDCALL engineMultiRate(BuildEngine* self, int32_t enabled) {
  BEGIN_CALL(self, 11);
  call.args.num(enabled);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  if (const char* refusal = refuseUnlessConfiguring(stateOf(object))) return call.done(kResultUnexpected, refusal);
  return call.done(kResultOk);
}

int32_t RMBE_STDCALL engineContentType(BuildEngine* self, const char* mimeType, int32_t enabled) {
  BEGIN_CALL(self, 13);
  call.args.text(mimeType).num(enabled);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  if (!mimeType) return call.done(kResultPointer, "no MIME type");
  EngineState& engine = stateOf(object);
  if (const char* refusal = refuseUnlessConfiguring(engine)) return call.done(kResultUnexpected, refusal);
  if (std::strcmp(mimeType, kAudioMimeType) != 0) return call.done(kResultInvalidArgument, "unknown content type");
  engine.audioContentEnabled = enabled != 0;
  return call.done(kResultOk);
}

const PinState* audioPinFormat(const EngineState& engine) {
  for (const auto& pin : engine.pins)
    if (pin->isAudio() && pin->sampleRate > 0) return pin.get();
  return nullptr;
}

int32_t RMBE_STDCALL enginePrepare(BuildEngine* self) {
  BEGIN_CALL(self, 17);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  EngineState& engine = stateOf(object);
  if (engine.phase != Phase::Configuring) return call.done(kResultUnexpected, "prepared twice");
  if (!engine.audioContentEnabled) return call.done(kResultUnexpected, "audio content never enabled");
  if (engine.outputFile.empty()) return call.done(kResultUnexpected, "no output file named");
  const PinState* pin = audioPinFormat(engine);
  if (!pin || pin->channels < 1 || pin->channels > 2 || pin->bitsPerSample != 16 || pin->sampleRate > 65535)
    return call.done(kResultUnexpected, "audio input format incomplete or unsupported");
  engine.clip.sampleRate = pin->sampleRate;
  engine.clip.channels = static_cast<uint16_t>(pin->channels);
  engine.clip.bitsPerSample = 16;
  engine.clip.codec = globals().config.codec == StandinCodec::Pcm ? RmAudioCodec::Pcm : RmAudioCodec::Dnet;
  engine.clip.codedBitRate = codedBitRate(engine.audiences, pin->sampleRate);
  if (!engine.writer.begin(engine.clip)) return call.done(kResultFail, engine.writer.beginFailure());
  engine.phase = Phase::Prepared;
  return call.done(kResultOk);
}

int32_t RMBE_STDCALL engineEnd(BuildEngine* self) {
  BEGIN_CALL(self, 18);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  EngineState& engine = stateOf(object);
  if (engine.phase == Phase::Configuring) return call.done(kResultUnexpected, "end before prepare");
  if (engine.phase == Phase::Ended) return call.done(kResultUnexpected, "ended twice");
  engine.phase = Phase::Ended;
  if (!engine.writer.finish()) return call.done(kResultFail, "cannot complete the file");
  return call.done(kResultOk);
}

int32_t RMBE_STDCALL factoryCreate(ClassFactory* self, const Guid* clsid, UnknownObject* outer, const Guid* iid,
                                   void** out) {
  BEGIN_CALL(self, 3);
  call.args.guid(clsid).raw(outer ? "\"outer\"" : "null").guid(iid);
  if (!out || !clsid || !iid) return call.done(kResultPointer, "null argument");
  *out = nullptr;
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  if (outer) return call.done(kResultNoAggregation, "aggregation is not offered");
  StandinObject* made = nullptr;
  if (*clsid == kClsidMediaSample && (*iid == kIidMediaSample || *iid == kIidUnknown))
    made = new MediaSampleObject();
  else if (*clsid == kClsidValueBuffer && (*iid == kIidValueBuffer || *iid == kIidUnknown))
    made = new ValueBufferObject();
  if (!made) return call.done(kResultClassNotAvailable, "unknown class or interface");
  made->engineName = object->engineName;
  made->engineSerial = object->engineSerial;
  *out = made->viewFor(*iid);
  call.args.name(&made->name);
  return call.done(kResultOk);
}

int32_t RMBE_STDCALL metadataPropertySet(MetadataSource* self, PropertySet** out) {
  BEGIN_CALL(self, 3);
  if (!out) return call.done(kResultPointer, "null out pointer");
  *out = nullptr;
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  auto* set = new PropertySetObject(static_cast<EngineObject*>(object)->engine);
  *out = reinterpret_cast<PropertySet*>(set->set);
  call.args.name(&set->name);
  return call.done(kResultOk);
}

const BuildEngineVtbl kEngineVtbl = {UNKNOWN_SLOTS(BuildEngine), engineEnumerator, engineClip, reservedSlot,
                                     engineTargets, reservedSlot, reservedSlot, engineRealTime, reservedSlot,
                                     engineMultiRate, reservedSlot, engineContentType, reservedSlot,
                                     reservedSlot, reservedSlot, enginePrepare, engineEnd};
const ClassFactoryVtbl kFactoryVtbl = {UNKNOWN_SLOTS(ClassFactory), factoryCreate};
const MetadataSourceVtbl kMetadataVtbl = {UNKNOWN_SLOTS(MetadataSource), metadataPropertySet};

}  // namespace

EngineObject::EngineObject() : EngineBound("Engine", std::make_shared<EngineState>()) {
  engineView = makeView(this, &kEngineVtbl, "BuildEngine");
  factory = makeView(this, &kFactoryVtbl, "ClassFactory");
  metadata = makeView(this, &kMetadataVtbl, "MetadataSource");
  engineName = name;
  engine->engineName = name;
  engineSerial = engine->engineSerial = ++globals().enginesMade;
  for (const std::string& mime : globals().config.pinMimeTypes) {
    auto pin = std::make_shared<PinState>();
    pin->mimeType = mime;
    engine->pins.push_back(pin);
  }
}

}  // namespace standin
