// The stand-in build engine: every interface and slot of the engine contract,
// strict about reference counts and call order, logging every call it
// receives, and writing uncompressed RealMedia files (rm_writer.h).
//
// Objects are never freed while the process runs: an object whose count
// reaches 0 drops its resources and stays as a shell, so that a further
// release or call through it is reported instead of touching freed memory.
//
// Several conversions may drive their own engines from several threads at
// once: every call holds one process-wide lock from start to end.
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <mutex>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "build_engine.h"
#include "rm_writer.h"
#include "standin_config.h"
#include "standin_control.h"

namespace {

constexpr int32_t kResultNoAggregation = static_cast<int32_t>(0x80040110u);
constexpr int32_t kResultClassNotAvailable = static_cast<int32_t>(0x80040111u);
constexpr int32_t kResultInvalidArgument = static_cast<int32_t>(0x80070057u);
constexpr size_t kMaxAccessPathBytes = 65536;

// ---------------------------------------------------------------- JSON text

std::string jsonString(const char* data, size_t length) {
  std::string out = "\"";
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(data[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string jsonString(const std::string& s) { return jsonString(s.data(), s.size()); }

std::string guidText(const Guid& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1, g.data2,
                g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6],
                g.data4[7]);
  return text;
}

class JsonArgs {
 public:
  JsonArgs& num(long long v) { return add(std::to_string(v)); }
  JsonArgs& text(const char* s) { return add(s ? jsonString(s, std::strlen(s)) : "null"); }
  JsonArgs& bytesText(const void* s, size_t n) {
    return add(s ? jsonString(static_cast<const char*>(s), n) : "null");
  }
  JsonArgs& guid(const Guid* g) { return add(g ? jsonString(guidText(*g)) : "null"); }
  JsonArgs& name(const std::string* objectName) { return add(objectName ? jsonString(*objectName) : "null"); }
  JsonArgs& raw(const std::string& json) { return add(json); }
  const std::string& str() const { return json_; }

 private:
  JsonArgs& add(const std::string& item) {
    if (!json_.empty()) json_ += ", ";
    json_ += item;
    return *this;
  }
  std::string json_;
};

// ------------------------------------------------------------ global state

// Recursive: an export opens its call inside its own hold.
class CallLock {
 public:
#ifdef _WIN32
  CallLock() { InitializeCriticalSection(&section_); }
  void lock() { EnterCriticalSection(&section_); }
  void unlock() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
#else
  void lock() { mutex_.lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
#endif
};

// Never destroyed: threads may still call in while the process exits.
CallLock& callLock() {
  static CallLock* lock = new CallLock();
  return *lock;
}

class CallHold {
 public:
  CallHold() { callLock().lock(); }
  ~CallHold() { callLock().unlock(); }
  CallHold(const CallHold&) = delete;
  CallHold& operator=(const CallHold&) = delete;
};

struct StandinObject;

struct InterfaceView {
  const void* vtbl;
  StandinObject* owner;
  const char* ifaceName;
};

struct StandinObject {
  explicit StandinObject(const char* kind);
  virtual ~StandinObject() = default;
  // The view answering iid, or null. kIidUnknown answers the primary view.
  virtual InterfaceView* viewFor(const Guid& iid) = 0;
  // Called when the count reaches 0: drop every resource.
  virtual void finalRelease() {}
  bool owns(const void* view) const;

  std::string name;
  std::string engineName;  // the engine that made it (itself for an engine), or empty
  uint32_t refs = 1;
  uint32_t overReleases = 0;
  std::vector<InterfaceView*> views;
};

struct Globals {
  ~Globals();
  StandinConfig config;
  std::string configProblems;
  std::map<std::string, uint32_t> callCounts;  // "Iface.slot" -> calls so far
  std::vector<StandinObject*> objects;         // every object ever made
  std::map<std::string, int> kindCounters;
};

Globals& globals() {
  static Globals g;
  return g;
}

int liveObjectCount() {
  int live = 0;
  for (StandinObject* o : globals().objects) live += o->refs > 0 ? 1 : 0;
  return live;
}

int overReleaseCount() {
  int total = 0;
  for (StandinObject* o : globals().objects) total += static_cast<int>(o->overReleases);
  return total;
}

std::string referenceReport() {
  std::string report;
  for (StandinObject* o : globals().objects) {
    if (o->refs > 0) report += o->name + " still referenced (" + std::to_string(o->refs) + ")\n";
    if (o->overReleases > 0)
      report += o->name + " released " + std::to_string(o->overReleases) + " time(s) too often\n";
  }
  return report.empty() ? "clean\n" : report;
}

void appendLogLine(const std::string& line) {
  const std::string& path = globals().config.logPath;
  if (path.empty()) return;
  if (FILE* f = std::fopen(path.c_str(), "ab")) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::fputc('\n', f);
    std::fclose(f);
  }
}

Globals::~Globals() {
  const std::string report = referenceReport();
  if (report != "clean\n") std::fprintf(stderr, "rmbe3260 stand-in references at exit:\n%s", report.c_str());
  if (!objects.empty()) appendLogLine("{\"report\": " + jsonString(report) + "}");
  for (StandinObject* o : objects) delete o;
  objects.clear();
}

StandinObject::StandinObject(const char* kind) {
  int number = ++globals().kindCounters[kind];
  name = std::string(kind) + std::to_string(number);
  globals().objects.push_back(this);
}

bool StandinObject::owns(const void* view) const {
  for (const InterfaceView* v : views)
    if (v == view) return true;
  return false;
}

// Finds the stand-in object behind an interface pointer the plug-in passes
// in, without trusting the pointer.
StandinObject* ownerOf(const void* view) {
  if (!view) return nullptr;
  for (StandinObject* o : globals().objects)
    if (o->owns(view)) return o;
  return nullptr;
}

void reloadConfigIfIdle() {
  if (liveObjectCount() > 0) return;
  Globals& g = globals();
  g.configProblems.clear();
  g.config = readStandinConfig(g.configProblems);
  g.callCounts.clear();
  g.kindCounters.clear();  // names restart for each new engine: Engine1, Pin1, ...
  if (!g.configProblems.empty()) std::fprintf(stderr, "rmbe3260 stand-in: %s\n", g.configProblems.c_str());
}

// One call received: counts it, applies fault rules, logs it on completion.
class Call {
 public:
  Call(const char* iface, const std::string* objectName, int slot, const std::string& engineName = std::string())
      : iface_(iface), objectName_(objectName ? *objectName : std::string()), engineName_(engineName), slot_(slot) {
    key_ = std::string(iface) + "." + std::to_string(slot);
    callNumber_ = ++globals().callCounts[key_];
  }
  JsonArgs args;
  // The injected result for this call, if a fault rule matches.
  bool injected(int32_t& result) const {
    for (const FaultRule& rule : globals().config.faults) {
      if (rule.iface == iface_ && rule.slot == slot_ && (rule.nthCall == 0 || rule.nthCall == callNumber_)) {
        result = rule.result;
        return true;
      }
    }
    return false;
  }
  int32_t done(int32_t result, const char* note = nullptr) {
    std::string line = "{\"iface\": " + jsonString(iface_) + ", \"obj\": " + jsonString(objectName_) +
                       ", \"slot\": " + std::to_string(slot_) + ", \"args\": [" + args.str() +
                       "], \"result\": " + std::to_string(result);
    if (globals().config.logEngine && !engineName_.empty()) line += ", \"engine\": " + jsonString(engineName_);
    if (note) line += ", \"note\": " + jsonString(note, std::strlen(note));
    appendLogLine(line + "}");
    return result;
  }

 private:
  CallHold hold_;  // first member: taken before anything is counted or read
  std::string iface_;
  std::string objectName_;
  std::string engineName_;
  std::string key_;
  int slot_;
  uint32_t callNumber_;
};

InterfaceView* viewOf(void* self) { return static_cast<InterfaceView*>(self); }

// Opens a call through `self`: logs and refuses calls through released objects.
#define BEGIN_CALL(self, slot)                                          \
  InterfaceView* view = viewOf(self);                                  \
  StandinObject* object = view->owner;                                 \
  Call call(view->ifaceName, &object->name, slot, object->engineName)

#define REFUSE_IF_RELEASED()                                                      \
  if (object->refs == 0) return call.done(kResultUnexpected, "call through a released object")

#define INJECT_FAULT(...)                     \
  do {                                        \
    int32_t injectedResult = 0;               \
    if (call.injected(injectedResult)) {      \
      __VA_ARGS__;                            \
      return call.done(injectedResult, "injected"); \
    }                                         \
  } while (0)

// ------------------------------------------------------- the engine's state

struct PinState {
  std::string mimeType;
  uint32_t sampleRate = 0;
  uint32_t bitsPerSample = 0;
  uint32_t channels = 0;
  bool isAudio() const { return mimeType == kAudioMimeType; }
};

enum class Phase { Configuring, Prepared, Ended };

struct EngineState {
  ~EngineState() { writer.abandon(); }
  std::string engineName;
  Phase phase = Phase::Configuring;
  bool audioContentEnabled = false;
  std::string outputFile;
  RmClipInfo clip;
  int32_t audioFormat = -1;
  std::vector<int32_t> audiences;
  std::vector<std::shared_ptr<PinState>> pins;
  uint32_t lastTimeMs = 0;
  RmFileWriter writer;
};

using EngineRef = std::shared_ptr<EngineState>;

const char* refuseUnlessConfiguring(const EngineState& engine) {
  if (engine.phase == Phase::Configuring) return nullptr;
  return engine.phase == Phase::Prepared ? "setting changed after prepare" : "setting changed after end";
}

// --------------------------------------------------- shared unknown slots

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
  if (--object->refs == 0) object->finalRelease();
  call.done(static_cast<int32_t>(object->refs));
  return object->refs;
}

[[noreturn]] void RMBE_STDCALL reservedSlot(void* self) {
  CallHold hold;
  InterfaceView* view = viewOf(self);
  std::fprintf(stderr, "rmbe3260 stand-in: %s called through a slot the plug-in never uses\n",
               view->owner->name.c_str());
  appendLogLine("{\"iface\": " + jsonString(view->ifaceName) + ", \"note\": \"reserved slot called\"}");
  std::abort();  // the caller's stack no longer matches: stop here
}

#define UNKNOWN_SLOTS(Iface) queryInterfaceSlot<Iface>, addRefSlot<Iface>, releaseSlot<Iface>

// ------------------------------------------------------- the plain objects

std::string nameOrNull(StandinObject* o) { return o ? o->name : std::string("null"); }

InterfaceView* makeView(StandinObject* owner, const void* vtbl, const char* ifaceName) {
  InterfaceView* view = new InterfaceView{vtbl, owner, ifaceName};
  owner->views.push_back(view);
  return view;
}

struct ViewOwner : StandinObject {
  using StandinObject::StandinObject;
  ~ViewOwner() override {
    for (InterfaceView* v : views) delete v;
  }
};

// MediaSample: refers to the data until the pin encodes it.
struct MediaSampleObject : ViewOwner {
  MediaSampleObject();
  InterfaceView* viewFor(const Guid& iid) override {
    return (iid == kIidUnknown || iid == kIidMediaSample) ? sample : nullptr;
  }
  InterfaceView* sample;
  const void* data = nullptr;
  uint32_t bytes = 0;
  uint32_t timeMs = 0;
  uint32_t flags = 0;
  bool filled = false;
};

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

MediaSampleObject::MediaSampleObject() : ViewOwner("Sample") {
  sample = makeView(this, &kMediaSampleVtbl, "MediaSample");
}

struct ValueBufferObject : ViewOwner {
  ValueBufferObject();
  InterfaceView* viewFor(const Guid& iid) override {
    return (iid == kIidUnknown || iid == kIidValueBuffer) ? buffer : nullptr;
  }
  void finalRelease() override { std::string().swap(bytes); }
  InterfaceView* buffer;
  std::string bytes;
};

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

ValueBufferObject::ValueBufferObject() : ViewOwner("Value") {
  buffer = makeView(this, &kValueBufferVtbl, "ValueBuffer");
}

// ------------------------------------------------ objects bound to an engine

struct EngineBound : ViewOwner {
  EngineBound(const char* kind, EngineRef state) : ViewOwner(kind), engine(std::move(state)) {
    engineName = engine->engineName;
  }
  void finalRelease() override { engine.reset(); }
  EngineRef engine;
};

struct PropertySetObject : EngineBound {
  explicit PropertySetObject(EngineRef state);
  InterfaceView* viewFor(const Guid& iid) override { return iid == kIidUnknown ? set : nullptr; }
  InterfaceView* set;
};

int32_t RMBE_STDCALL propertySetBuffer(PropertySet* self, const char* name, ValueBuffer* value) {
  BEGIN_CALL(self, 11);
  StandinObject* valueObject = ownerOf(value);
  call.args.text(name).raw(jsonString(nameOrNull(valueObject)));
  REFUSE_IF_RELEASED();
  INJECT_FAULT();
  if (!name) return call.done(kResultPointer, "no name");
  auto* buffer = dynamic_cast<ValueBufferObject*>(valueObject);
  if (!buffer || buffer->refs == 0) return call.done(kResultInvalidArgument, "not a live value buffer");
  EngineState& engine = *static_cast<PropertySetObject*>(object)->engine;
  if (const char* refusal = refuseUnlessConfiguring(engine)) return call.done(kResultUnexpected, refusal);
  if (std::strcmp(name, "Generated By") == 0) engine.clip.comment = buffer->bytes.c_str();
  return call.done(kResultOk);
}

const PropertySetVtbl kPropertySetVtbl = {UNKNOWN_SLOTS(PropertySet), reservedSlot, reservedSlot,
                                          reservedSlot, reservedSlot, reservedSlot, reservedSlot,
                                          reservedSlot, reservedSlot, propertySetBuffer};

PropertySetObject::PropertySetObject(EngineRef state) : EngineBound("Properties", std::move(state)) {
  set = makeView(this, &kPropertySetVtbl, "PropertySet");
}

// ClipProperties
struct ClipObject : EngineBound {
  explicit ClipObject(EngineRef state);
  InterfaceView* viewFor(const Guid& iid) override { return iid == kIidUnknown ? clip : nullptr; }
  InterfaceView* clip;
};

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
  engine.outputFile = path;
  return call.done(kResultOk);
}

const ClipPropertiesVtbl kClipVtbl = {
    UNKNOWN_SLOTS(ClipProperties), reservedSlot, clipPerfectPlay, reservedSlot, clipLive, reservedSlot,
    clipOutputFile, reservedSlot, reservedSlot, reservedSlot, clipTitle, reservedSlot, clipAuthor,
    reservedSlot, clipCopyright, reservedSlot, reservedSlot, reservedSlot, clipMobile, reservedSlot,
    clipSelective, reservedSlot, clipRecordable};

ClipObject::ClipObject(EngineRef state) : EngineBound("Clip", std::move(state)) {
  clip = makeView(this, &kClipVtbl, "ClipProperties");
}

// The object of engine slot 6: UnknownObject and TargetSettings.
struct TargetObject : EngineBound {
  explicit TargetObject(EngineRef state);
  InterfaceView* viewFor(const Guid& iid) override {
    if (iid == kIidUnknown) return unknown;
    return iid == kIidTargetSettings ? targets : nullptr;
  }
  InterfaceView* unknown;
  InterfaceView* targets;
};

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

const UnknownObjectVtbl kUnknownVtbl = {UNKNOWN_SLOTS(UnknownObject)};
const TargetSettingsVtbl kTargetsVtbl = {UNKNOWN_SLOTS(TargetSettings), targetsAdd, reservedSlot, targetsClear,
                                         reservedSlot, reservedSlot, reservedSlot, targetsAudioContent};

TargetObject::TargetObject(EngineRef state) : EngineBound("Targets", std::move(state)) {
  unknown = makeView(this, &kUnknownVtbl, "Unknown");
  targets = makeView(this, &kTargetsVtbl, "TargetSettings");
}

// PinProperties and, for the audio pin, AudioPinProperties.
struct PinPropertiesObject : EngineBound {
  PinPropertiesObject(EngineRef state, std::shared_ptr<PinState> pinState);
  InterfaceView* viewFor(const Guid& iid) override {
    if (iid == kIidUnknown) return properties;
    return (iid == kIidAudioPinProperties && pin->isAudio()) ? audio : nullptr;
  }
  void finalRelease() override {
    EngineBound::finalRelease();
    pin.reset();
  }
  std::shared_ptr<PinState> pin;
  InterfaceView* properties;
  InterfaceView* audio;
};

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

PinPropertiesObject::PinPropertiesObject(EngineRef state, std::shared_ptr<PinState> pinState)
    : EngineBound("PinProps", std::move(state)), pin(std::move(pinState)) {
  properties = makeView(this, &kPinPropertiesVtbl, "PinProperties");
  audio = makeView(this, &kAudioPropertiesVtbl, "AudioPinProperties");
}

// A pin: UnknownObject (as the enumerator yields it), InputPin and PinSizeInfo.
struct PinObject : EngineBound {
  PinObject(EngineRef state, std::shared_ptr<PinState> pinState);
  InterfaceView* viewFor(const Guid& iid) override {
    if (iid == kIidUnknown) return unknown;
    if (iid == kIidInputPin) return input;
    return iid == kIidPinSizeInfo ? sizeInfo : nullptr;
  }
  void finalRelease() override {
    EngineBound::finalRelease();
    pin.reset();
  }
  std::shared_ptr<PinState> pin;
  InterfaceView* unknown;
  InterfaceView* input;
  InterfaceView* sizeInfo;
};

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
  if (sample->bytes > globals().config.chunkBytes)
    return call.done(kResultInvalidArgument, "chunk larger than the preferred size");
  if (sample->timeMs < engine.lastTimeMs) return call.done(kResultInvalidArgument, "time stamp went back");
  if (!engine.writer.writeAudio(static_cast<const uint8_t*>(sample->data), sample->bytes, sample->timeMs))
    return call.done(kResultFail, "file write failed");
  engine.lastTimeMs = sample->timeMs;
  const std::string& pcmPath = globals().config.pcmPath;
  if (!pcmPath.empty()) appendBytes(pcmPath, sample->data, sample->bytes);
  if (globals().config.pcmPerFile) appendBytes(engine.outputFile + ".pcm", sample->data, sample->bytes);
  return call.done(kResultOk);
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

PinObject::PinObject(EngineRef state, std::shared_ptr<PinState> pinState)
    : EngineBound("Pin", std::move(state)), pin(std::move(pinState)) {
  unknown = makeView(this, &kUnknownVtbl, "Unknown");
  input = makeView(this, &kInputPinVtbl, "InputPin");
  sizeInfo = makeView(this, &kPinSizeVtbl, "PinSizeInfo");
}

struct EnumeratorObject : EngineBound {
  explicit EnumeratorObject(EngineRef state);
  InterfaceView* viewFor(const Guid& iid) override { return iid == kIidUnknown ? pins : nullptr; }
  InterfaceView* pins;
  size_t next = 0;
};

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

EnumeratorObject::EnumeratorObject(EngineRef state) : EngineBound("Enum", std::move(state)) {
  pins = makeView(this, &kEnumeratorVtbl, "PinEnumerator");
}

// ------------------------------------------------------------ the engine

struct EngineObject : EngineBound {
  EngineObject();
  InterfaceView* viewFor(const Guid& iid) override {
    if (iid == kIidUnknown) return engineView;
    if (iid == kIidClassFactory) return factory;
    return iid == kIidMetadataSource ? metadata : nullptr;
  }
  InterfaceView* engineView;
  InterfaceView* factory;
  InterfaceView* metadata;
};

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
  if (!engine.writer.begin(engine.outputFile, engine.clip)) return call.done(kResultFail, "cannot create the file");
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

EngineObject::EngineObject() : EngineBound("Engine", std::make_shared<EngineState>()) {
  engineView = makeView(this, &kEngineVtbl, "BuildEngine");
  factory = makeView(this, &kFactoryVtbl, "ClassFactory");
  metadata = makeView(this, &kMetadataVtbl, "MetadataSource");
  engineName = name;
  engine->engineName = name;
  for (const std::string& mime : globals().config.pinMimeTypes) {
    auto pin = std::make_shared<PinState>();
    pin->mimeType = mime;
    engine->pins.push_back(pin);
  }
}

std::string accessPathEntries(const char* paths) {
  std::string json = "[";
  size_t offset = 0;
  while (paths && offset < kMaxAccessPathBytes && paths[offset] != '\0') {
    size_t length = ::strnlen(paths + offset, kMaxAccessPathBytes - offset);
    if (json.size() > 1) json += ", ";
    json += jsonString(paths + offset, length);
    offset += length + 1;
  }
  return json + "]";
}

}  // namespace

extern "C" int32_t RMBE_STDCALL RMACreateRMBuildEngine(BuildEngine** engine) {
  CallHold hold;
  reloadConfigIfIdle();
  Call call("Library", nullptr, 0);
  if (!engine) return call.done(kResultPointer, "null out pointer");
  *engine = nullptr;
  INJECT_FAULT();
  auto* made = new EngineObject();
  *engine = reinterpret_cast<BuildEngine*>(made->engineView);
  call.args.name(&made->name);
  return call.done(kResultOk);
}

extern "C" int32_t RMBE_STDCALL SetDLLAccessPath(const char* paths) {
  CallHold hold;
  reloadConfigIfIdle();
  Call call("Library", nullptr, 1);
  call.args.raw(accessPathEntries(paths));
  INJECT_FAULT();
  if (!paths) return call.done(kResultPointer, "no list");
  return call.done(kResultOk);
}

extern "C" int RmbeLiveObjects(void) {
  CallHold hold;
  return liveObjectCount();
}

extern "C" int RmbeOverReleases(void) {
  CallHold hold;
  return overReleaseCount();
}

extern "C" int RmbeLeakReport(char* buffer, int size) {
  CallHold hold;
  const std::string report = referenceReport();
  if (buffer && size > 0) {
    size_t n = std::min<size_t>(report.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, report.data(), n);
    buffer[n] = '\0';
  }
  return static_cast<int>(report.size());
}
