#include "standin-engine/clip_object.h"

#include "standin-engine/unknown_slots.h"

namespace standin {

namespace {

int32_t clipFlag(ClipProperties* self, int slot, int32_t enabled, uint16_t fileFlag) {
  BEGIN_CALL(self, slot);
  call.args.num(enabled);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  EngineState& engine = *static_cast<ClipObject*>(object)->engine;
  if (const char* refusal = refuseUnlessConfiguring(engine)) return call.done(kResultUnexpected, refusal);
  if (fileFlag) engine.clip.fileFlags = enabled ? (engine.clip.fileFlags | fileFlag)
                                                : (engine.clip.fileFlags & ~fileFlag);
  return call.done(kResultOk);
}

int32_t clipText(ClipProperties* self, int slot, const char* text, std::string RmClipInfo::*field) {
  BEGIN_CALL(self, slot);
  call.args.text(text);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  if (!text) return call.done(kResultPointer, "no text");
  EngineState& engine = *static_cast<ClipObject*>(object)->engine;
  if (const char* refusal = refuseUnlessConfiguring(engine)) return call.done(kResultUnexpected, refusal);
  engine.clip.*field = text;
  return call.done(kResultOk);
}

// The PROP flags: 2 perfect play, 1 saved (recordable). Live broadcast,
// mobile play and selective record are accepted and leave no trace.
int32_t RMBE_STDCALL clipPerfectPlay(ClipProperties* s, int32_t v) { return clipFlag(s, 4, v, 2); }
int32_t RMBE_STDCALL clipLive(ClipProperties* s, int32_t v) { return clipFlag(s, 6, v, 0); }
int32_t RMBE_STDCALL clipMobile(ClipProperties* s, int32_t v) { return clipFlag(s, 20, v, 0); }
int32_t RMBE_STDCALL clipSelective(ClipProperties* s, int32_t v) { return clipFlag(s, 22, v, 0); }
int32_t RMBE_STDCALL clipRecordable(ClipProperties* s, int32_t v) { return clipFlag(s, 24, v, 1); }
int32_t RMBE_STDCALL clipTitle(ClipProperties* s, const char* t) { return clipText(s, 12, t, &RmClipInfo::title); }
int32_t RMBE_STDCALL clipAuthor(ClipProperties* s, const char* t) { return clipText(s, 14, t, &RmClipInfo::author); }
int32_t RMBE_STDCALL clipCopyright(ClipProperties* s, const char* t) {
  return clipText(s, 16, t, &RmClipInfo::copyright);
}

int32_t RMBE_STDCALL clipOutputFile(ClipProperties* self, const char* path) {
  BEGIN_CALL(self, 8);
  call.args.text(path);
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  if (!path) return call.done(kResultPointer, "no path");
  if (!*path) return call.done(kResultInvalidArgument, "empty path");
  EngineState& engine = *static_cast<ClipObject*>(object)->engine;
  if (const char* refusal = refuseUnlessConfiguring(engine)) return call.done(kResultUnexpected, refusal);
  // The temporary file is made now, so that a name or folder that cannot
  // take it fails here rather than after the whole input was coded.
  engine.outputFile.clear();
  if (const char* refusal = engine.writer.create(path)) return call.done(kResultFail, refusal);
  engine.outputFile = path;
  return call.done(kResultOk);
}

const ClipPropertiesVtbl kClipVtbl = {
    UNKNOWN_SLOTS(ClipProperties), reservedSlot, clipPerfectPlay, reservedSlot, clipLive, reservedSlot,
    clipOutputFile, reservedSlot, reservedSlot, reservedSlot, clipTitle, reservedSlot, clipAuthor,
    reservedSlot, clipCopyright, reservedSlot, reservedSlot, reservedSlot, clipMobile, reservedSlot,
    clipSelective, reservedSlot, clipRecordable};

}  // namespace

ClipObject::ClipObject(EngineRef state) : EngineBound("Clip", std::move(state)) {
  clip = makeView(this, &kClipVtbl, "ClipProperties");
}

}  // namespace standin
