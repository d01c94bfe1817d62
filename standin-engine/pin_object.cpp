#include "standin-engine/pin_object.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "standin-engine/media_sample_object.h"
#include "standin-engine/pin_properties_object.h"
#include "standin-engine/standin_state.h"
#include "standin-engine/unknown_slots.h"

namespace standin {

namespace {

int32_t RMBE_STDCALL pinMimeType(InputPin* self, char* buffer, uint32_t size) {
  BEGIN_CALL(self, 3);
  REFUSE_IF_RELEASED();
  call.args.num(size);
  INJECT_FAULT();
  if (!buffer || size == 0) return call.done(kResultPointer, "no buffer");
  const std::string& mime = static_cast<PinObject*>(object)->pin->mimeType;
  size_t n = std::min<size_t>(mime.size(), size - 1);
  std::memcpy(buffer, mime.data(), n);
  buffer[n] = '\0';
  call.args.text(buffer);
  return call.done(kResultOk);
}

int32_t RMBE_STDCALL pinProperties(InputPin* self, PinProperties** out) {
  BEGIN_CALL(self, 4);
  if (!out) return call.done(kResultPointer, "null out pointer");
  *out = nullptr;
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  auto* pin = static_cast<PinObject*>(object);
  auto* props = new PinPropertiesObject(pin->engine, pin->pin);
  *out = reinterpret_cast<PinProperties*>(props->properties);
  call.args.name(&props->name);
  return call.done(kResultOk);
}

void appendBytes(const std::string& path, const void* data, uint32_t bytes) {
  if (FILE* f = std::fopen(path.c_str(), "ab")) {
    std::fwrite(data, 1, bytes, f);
    std::fclose(f);
  }
}

// The plug-in stamps a chunk with the time its last frame ends, truncated to
// the millisecond; the file carries start times of its own (the writer's).
// Empty when the stamp agrees with the end of the chunk's frames, otherwise
// a note saying by how much it does not.
std::string endTimeDisagreement(uint32_t stampMs, uint64_t endFrames, uint32_t sampleRate) {
  const uint64_t endTimesRate = endFrames * 1000;  // the exact end time, in ms x rate
  const uint64_t stampTimesRate = uint64_t(stampMs) * sampleRate;
  if (stampTimesRate <= endTimesRate && endTimesRate - stampTimesRate <= sampleRate) return std::string();
  return "time stamp " + std::to_string(stampMs) + " ms is not the chunk's end time, " +
         std::to_string(endTimesRate / sampleRate) + " ms";
}

int32_t RMBE_STDCALL pinEncode(InputPin* self, MediaSample* sampleView) {
  BEGIN_CALL(self, 6);
  auto* sample = dynamic_cast<MediaSampleObject*>(ownerOf(sampleView));
  call.args.raw(jsonString(nameOrNull(sample)));
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  auto* pin = static_cast<PinObject*>(object);
  EngineState& engine = *pin->engine;
  if (!pin->pin->isAudio()) return call.done(kResultUnexpected, "pin takes no audio");
  if (engine.phase == Phase::Configuring) return call.done(kResultUnexpected, "chunk before prepare");
  if (engine.phase == Phase::Ended) return call.done(kResultUnexpected, "chunk after end");
  if (!sample || sample->refs == 0) return call.done(kResultInvalidArgument, "not a live media sample");
  if (!sample->filled) return call.done(kResultUnexpected, "media sample never filled");
  const uint32_t frameBytes = pin->pin->channels * pin->pin->bitsPerSample / 8;
  if (sample->bytes == 0 || sample->bytes % frameBytes != 0)
    return call.done(kResultInvalidArgument, "chunk is not a whole number of frames");
  // Asked for less than a frame, the engine still takes one whole frame.
  if (sample->bytes > std::max(globals().config.chunkBytes, frameBytes))
    return call.done(kResultInvalidArgument, "chunk larger than the preferred size");
  if (sample->timeMs < engine.lastTimeMs) return call.done(kResultInvalidArgument, "time stamp went back");
  const std::string stampNote =
      endTimeDisagreement(sample->timeMs, engine.writer.framesWritten() + sample->bytes / frameBytes,
                          engine.clip.sampleRate);
  if (!engine.writer.writeAudio(static_cast<const uint8_t*>(sample->data), sample->bytes))
    return call.done(kResultFail, "file write failed");
  engine.lastTimeMs = sample->timeMs;
  const std::string& pcmPath = globals().config.pcmPath;
  if (!pcmPath.empty()) appendBytes(pcmPath, sample->data, sample->bytes);
  if (globals().config.pcmPerFile) appendBytes(engine.outputFile + ".pcm", sample->data, sample->bytes);
  return call.done(kResultOk, stampNote.empty() ? nullptr : stampNote.c_str());
}

int32_t RMBE_STDCALL pinChunkBytes(PinSizeInfo* self, uint32_t* bytes) {
  BEGIN_CALL(self, 4);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  if (!bytes) return call.done(kResultPointer, "null out pointer");
  *bytes = globals().config.chunkBytes;
  call.args.num(*bytes);
  return call.done(kResultOk);
}

const InputPinVtbl kInputPinVtbl = {UNKNOWN_SLOTS(InputPin), pinMimeType, pinProperties, reservedSlot, pinEncode};
const PinSizeInfoVtbl kPinSizeVtbl = {UNKNOWN_SLOTS(PinSizeInfo), reservedSlot, pinChunkBytes};

}  // namespace

PinObject::PinObject(EngineRef state, std::shared_ptr<PinState> pinState)
    : EngineBound("Pin", std::move(state)), pin(std::move(pinState)) {
  unknown = makeView(this, &kUnknownVtbl, "Unknown");
  input = makeView(this, &kInputPinVtbl, "InputPin");
  sizeInfo = makeView(this, &kPinSizeVtbl, "PinSizeInfo");
}

}  // namespace standin
