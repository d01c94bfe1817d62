#include "standin-engine/target_object.h"

#include "standin-engine/unknown_slots.h"

namespace standin {

namespace {

int32_t RMBE_STDCALL targetsAdd(TargetSettings* self, int32_t audience) {
  BEGIN_CALL(self, 3);
  call.args.num(audience);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  if (audience < 0) return call.done(kResultInvalidArgument, "negative audience");
  EngineState& engine = *static_cast<TargetObject*>(object)->engine;
  if (const char* refusal = refuseUnlessConfiguring(engine)) return call.done(kResultUnexpected, refusal);
  engine.audiences.push_back(audience);
  return call.done(kResultOk);
}

int32_t RMBE_STDCALL targetsClear(TargetSettings* self) {
  BEGIN_CALL(self, 5);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  EngineState& engine = *static_cast<TargetObject*>(object)->engine;
  if (const char* refusal = refuseUnlessConfiguring(engine)) return call.done(kResultUnexpected, refusal);
  engine.audiences.clear();
  return call.done(kResultOk);
}

int32_t RMBE_STDCALL targetsAudioContent(TargetSettings* self, int32_t audioFormat) {
  BEGIN_CALL(self, 9);
  call.args.num(audioFormat);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  EngineState& engine = *static_cast<TargetObject*>(object)->engine;
  if (const char* refusal = refuseUnlessConfiguring(engine)) return call.done(kResultUnexpected, refusal);
  engine.audioFormat = audioFormat;
  return call.done(kResultOk);
}

const TargetSettingsVtbl kTargetsVtbl = {UNKNOWN_SLOTS(TargetSettings), targetsAdd, reservedSlot, targetsClear,
                                         reservedSlot, reservedSlot, reservedSlot, targetsAudioContent};

}  // namespace

TargetObject::TargetObject(EngineRef state) : EngineBound("Targets", std::move(state)) {
  unknown = makeView(this, &kUnknownVtbl, "Unknown");
  targets = makeView(this, &kTargetsVtbl, "TargetSettings");
}

}  // namespace standin
