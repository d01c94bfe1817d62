#include "standin-engine/pin_properties_object.h"

#include "standin-engine/unknown_slots.h"

namespace standin {

namespace {

int32_t audioSetting(AudioPinProperties* self, int slot, uint32_t value, uint32_t PinState::*field) {
  BEGIN_CALL(self, slot);
  call.args.num(value);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  auto* props = static_cast<PinPropertiesObject*>(object);
  if (const char* refusal = refuseUnlessConfiguring(*props->engine)) return call.done(kResultUnexpected, refusal);
  (*props->pin).*field = value;
  return call.done(kResultOk);
}

int32_t RMBE_STDCALL audioRate(AudioPinProperties* s, uint32_t v) { return audioSetting(s, 4, v, &PinState::sampleRate); }
int32_t RMBE_STDCALL audioWidth(AudioPinProperties* s, uint32_t v) {
  return audioSetting(s, 6, v, &PinState::bitsPerSample);
}
int32_t RMBE_STDCALL audioChannels(AudioPinProperties* s, uint32_t v) {
  return audioSetting(s, 8, v, &PinState::channels);
}

const PinPropertiesVtbl kPinPropertiesVtbl = {UNKNOWN_SLOTS(PinProperties)};
const AudioPinPropertiesVtbl kAudioPropertiesVtbl = {UNKNOWN_SLOTS(AudioPinProperties), reservedSlot, audioRate,
                                                     reservedSlot, audioWidth, reservedSlot, audioChannels};

}  // namespace

PinPropertiesObject::PinPropertiesObject(EngineRef state, std::shared_ptr<PinState> pinState)
    : EngineBound("PinProps", std::move(state)), pin(std::move(pinState)) {
  properties = makeView(this, &kPinPropertiesVtbl, "PinProperties");
  audio = makeView(this, &kAudioPropertiesVtbl, "AudioPinProperties");
}

}  // namespace standin
