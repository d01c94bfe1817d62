#pragma once
// The binary interface of the build engine library rmbe3260.dll.
//
// Every interface is a pointer to a struct whose first (and only) member is a
// pointer to a table of function pointers. Slot 0 is queryInterface, 1 addRef,
// 2 release; the further slots follow in the order the engine defines them.
// Slots this plug-in never calls are kept as `reserved` entries so that every
// named slot sits at its engine slot number (checked by the static_asserts at
// the end of this file). Every function takes the interface pointer first,
// uses the stdcall convention on 32-bit Windows and returns a signed 32-bit
// result that is negative on failure (addRef and release return the new count).
//
// This header includes no Windows header, so the session and the stand-in
// engine's objects build natively as well; there the calling convention is the
// platform's only one.
#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define RMBE_STDCALL __attribute__((stdcall))
#else
#define RMBE_STDCALL
#endif

// Result codes.
constexpr int32_t kResultOk = 0;
constexpr int32_t kResultNoMorePins = 0x00040012;  // 262162, enumerator exhausted (not a failure)
constexpr int32_t kResultNoInterface = static_cast<int32_t>(0x80004002u);  // E_NOINTERFACE
constexpr int32_t kResultPointer = static_cast<int32_t>(0x80004003u);      // E_POINTER
constexpr int32_t kResultFail = static_cast<int32_t>(0x80004005u);         // E_FAIL
constexpr int32_t kResultUnexpected = static_cast<int32_t>(0x8000FFFFu);   // E_UNEXPECTED
constexpr int32_t kResultNoEngine = static_cast<int32_t>(0x80040007u);     // metadata without an engine

inline bool failed(int32_t result) { return result < 0; }

// Same memory layout as a Windows GUID.
struct Guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};

inline bool operator==(const Guid& a, const Guid& b) {
  if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.data4[i] != b.data4[i]) return false;
  return true;
}
inline bool operator!=(const Guid& a, const Guid& b) { return !(a == b); }

// {00000000-0000-0000-C000-000000000046}: the identity every object answers.
constexpr Guid kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr Guid kIidInputPin = {0x42481750, 0xB9F9, 0x11D1, {0x9A, 0xF8, 0x00, 0x60, 0x97, 0xB7, 0x6F, 0x50}};
constexpr Guid kIidAudioPinProperties = {0xF3D20CE2, 0x0611, 0x11D2, {0x89, 0xB6, 0x00, 0xC0, 0xF0, 0x17, 0x77, 0x20}};
constexpr Guid kIidPinSizeInfo = {0xFDE92430, 0xC4F7, 0x11D1, {0x9A, 0xFD, 0x00, 0x60, 0x97, 0xB7, 0x6F, 0x50}};
constexpr Guid kIidTargetSettings = {0xFF8DA4C2, 0x00BC, 0x11D2, {0x89, 0xB3, 0x00, 0xC0, 0xF0, 0x17, 0x77, 0x20}};
constexpr Guid kIidClassFactory = {0x935D1C40, 0x0F6E, 0x11D2, {0xB6, 0x57, 0x00, 0xC0, 0xF0, 0x31, 0x22, 0x53}};
constexpr Guid kClsidMediaSample = {0x65CE70C0, 0x0F6B, 0x11D2, {0xB6, 0x57, 0x00, 0xC0, 0xF0, 0x31, 0x22, 0x53}};
constexpr Guid kIidMediaSample = {0xDD9A31C0, 0x06F8, 0x11D2, {0xB8, 0xB2, 0x00, 0x60, 0x97, 0xB7, 0x6F, 0x50}};
constexpr Guid kClsidValueBuffer = {0x00001300, 0x0901, 0x11D1, {0x8B, 0x06, 0x00, 0xA0, 0x24, 0x40, 0x6D, 0x59}};
constexpr Guid kIidValueBuffer = kClsidValueBuffer;
constexpr Guid kIidMetadataSource = {0x983CB831, 0xBC9D, 0x11D2, {0x87, 0x99, 0x00, 0xC0, 0xF0, 0x31, 0x93, 0x8B}};

// The MIME type of the engine's audio input and of the clip's content.
constexpr const char* kAudioMimeType = "audio/x-pn-realaudio";

// A slot the plug-in never calls. Its real signature is the engine's business.
using ReservedSlot = void(RMBE_STDCALL*)(void* self);

#define RMBE_UNKNOWN_SLOTS(Iface)                                                 \
  int32_t(RMBE_STDCALL* queryInterface)(Iface * self, const Guid* iid, void** out); \
  uint32_t(RMBE_STDCALL* addRef)(Iface * self);                                    \
  uint32_t(RMBE_STDCALL* release)(Iface * self)

struct UnknownObject;
struct BuildEngine;
struct PinEnumerator;
struct InputPin;
struct PinProperties;
struct AudioPinProperties;
struct PinSizeInfo;
struct ClipProperties;
struct TargetSettings;
struct ClassFactory;
struct MediaSample;
struct ValueBuffer;
struct MetadataSource;
struct PropertySet;

// Any object reached without a named interface: the pins the enumerator
// yields and the object engine slot 6 hands out. (Not called "Unknown":
// <winioctl.h> declares an enumerator of that name.)
struct UnknownObjectVtbl {
  RMBE_UNKNOWN_SLOTS(UnknownObject);
};
struct UnknownObject { const UnknownObjectVtbl* vtbl; };

struct BuildEngineVtbl {
  RMBE_UNKNOWN_SLOTS(BuildEngine);
  int32_t(RMBE_STDCALL* getPinEnumerator)(BuildEngine* self, PinEnumerator** out);    // 3
  int32_t(RMBE_STDCALL* getClipProperties)(BuildEngine* self, ClipProperties** out);  // 4
  ReservedSlot reserved5;
  int32_t(RMBE_STDCALL* getTargetSettingsObject)(BuildEngine* self, UnknownObject** out);   // 6
  ReservedSlot reserved7;
  ReservedSlot reserved8;
  int32_t(RMBE_STDCALL* setRealTime)(BuildEngine* self, int32_t enabled);             // 9
  ReservedSlot reserved10;
  int32_t(RMBE_STDCALL* setMultiRate)(BuildEngine* self, int32_t enabled);            // 11
  ReservedSlot reserved12;
  int32_t(RMBE_STDCALL* setContentTypeEnabled)(BuildEngine* self, const char* mimeType,
                                               int32_t enabled);                      // 13
  ReservedSlot reserved14;
  ReservedSlot reserved15;
  ReservedSlot reserved16;
  int32_t(RMBE_STDCALL* prepareToEncode)(BuildEngine* self);                          // 17
  // Completes the output file. The plug-in relies on an engine released
  // without this call leaving no output file, so that an unfinished file
  // never passes for a whole one: an assumption about the original engine,
  // and what the stand-in engine does (it removes its temporary file).
  int32_t(RMBE_STDCALL* endEncoding)(BuildEngine* self);                              // 18
};
struct BuildEngine { const BuildEngineVtbl* vtbl; };

struct PinEnumeratorVtbl {
  RMBE_UNKNOWN_SLOTS(PinEnumerator);
  // Both return kResultNoMorePins (and a null pin) when no pin is left.
  int32_t(RMBE_STDCALL* firstPin)(PinEnumerator* self, UnknownObject** out);  // 3
  int32_t(RMBE_STDCALL* nextPin)(PinEnumerator* self, UnknownObject** out);   // 4
};
struct PinEnumerator { const PinEnumeratorVtbl* vtbl; };

struct InputPinVtbl {
  RMBE_UNKNOWN_SLOTS(InputPin);
  // Writes the pin's MIME type, NUL-terminated, into buffer[0..size).
  int32_t(RMBE_STDCALL* getMimeType)(InputPin* self, char* buffer, uint32_t size);  // 3
  int32_t(RMBE_STDCALL* getPinProperties)(InputPin* self, PinProperties** out);     // 4
  ReservedSlot reserved5;
  int32_t(RMBE_STDCALL* encode)(InputPin* self, MediaSample* sample);               // 6
};
struct InputPin { const InputPinVtbl* vtbl; };

// Reached only to be asked for AudioPinProperties.
struct PinPropertiesVtbl {
  RMBE_UNKNOWN_SLOTS(PinProperties);
};
struct PinProperties { const PinPropertiesVtbl* vtbl; };

struct AudioPinPropertiesVtbl {
  RMBE_UNKNOWN_SLOTS(AudioPinProperties);
  ReservedSlot reserved3;
  int32_t(RMBE_STDCALL* setSampleRate)(AudioPinProperties* self, uint32_t hz);           // 4
  ReservedSlot reserved5;
  int32_t(RMBE_STDCALL* setSampleSize)(AudioPinProperties* self, uint32_t bits);         // 6
  ReservedSlot reserved7;
  int32_t(RMBE_STDCALL* setChannelCount)(AudioPinProperties* self, uint32_t channels);   // 8
};
struct AudioPinProperties { const AudioPinPropertiesVtbl* vtbl; };

struct PinSizeInfoVtbl {
  RMBE_UNKNOWN_SLOTS(PinSizeInfo);
  ReservedSlot reserved3;
  int32_t(RMBE_STDCALL* getPreferredChunkBytes)(PinSizeInfo* self, uint32_t* bytes);  // 4
};
struct PinSizeInfo { const PinSizeInfoVtbl* vtbl; };

struct ClipPropertiesVtbl {
  RMBE_UNKNOWN_SLOTS(ClipProperties);
  ReservedSlot reserved3;
  int32_t(RMBE_STDCALL* setPerfectPlay)(ClipProperties* self, int32_t enabled);       // 4
  ReservedSlot reserved5;
  int32_t(RMBE_STDCALL* setLiveBroadcast)(ClipProperties* self, int32_t enabled);     // 6
  ReservedSlot reserved7;
  int32_t(RMBE_STDCALL* setOutputFile)(ClipProperties* self, const char* path);       // 8
  ReservedSlot reserved9;
  ReservedSlot reserved10;
  ReservedSlot reserved11;
  int32_t(RMBE_STDCALL* setTitle)(ClipProperties* self, const char* text);            // 12
  ReservedSlot reserved13;
  int32_t(RMBE_STDCALL* setAuthor)(ClipProperties* self, const char* text);           // 14
  ReservedSlot reserved15;
  int32_t(RMBE_STDCALL* setCopyright)(ClipProperties* self, const char* text);        // 16
  ReservedSlot reserved17;
  ReservedSlot reserved18;
  ReservedSlot reserved19;
  int32_t(RMBE_STDCALL* setMobilePlay)(ClipProperties* self, int32_t enabled);        // 20
  ReservedSlot reserved21;
  int32_t(RMBE_STDCALL* setSelectiveRecord)(ClipProperties* self, int32_t enabled);   // 22
  ReservedSlot reserved23;
  int32_t(RMBE_STDCALL* setRecordable)(ClipProperties* self, int32_t enabled);        // 24
};
struct ClipProperties { const ClipPropertiesVtbl* vtbl; };

struct TargetSettingsVtbl {
  RMBE_UNKNOWN_SLOTS(TargetSettings);
  int32_t(RMBE_STDCALL* addTargetAudience)(TargetSettings* self, int32_t audience);  // 3
  ReservedSlot reserved4;
  int32_t(RMBE_STDCALL* clearTargetAudiences)(TargetSettings* self);                 // 5
  ReservedSlot reserved6;
  ReservedSlot reserved7;
  ReservedSlot reserved8;
  int32_t(RMBE_STDCALL* setAudioContent)(TargetSettings* self, int32_t audioFormat);  // 9
};
struct TargetSettings { const TargetSettingsVtbl* vtbl; };

struct ClassFactoryVtbl {
  RMBE_UNKNOWN_SLOTS(ClassFactory);
  int32_t(RMBE_STDCALL* createInstance)(ClassFactory* self, const Guid* clsid, UnknownObject* outer,
                                        const Guid* iid, void** out);  // 3
};
struct ClassFactory { const ClassFactoryVtbl* vtbl; };

struct MediaSampleVtbl {
  RMBE_UNKNOWN_SLOTS(MediaSample);
  // Copies nothing: the sample refers to data until the pin has encoded it.
  int32_t(RMBE_STDCALL* setData)(MediaSample* self, const void* data, uint32_t bytes,
                                 uint32_t timeMs, uint32_t flags);  // 3
};
struct MediaSample { const MediaSampleVtbl* vtbl; };

struct ValueBufferVtbl {
  RMBE_UNKNOWN_SLOTS(ValueBuffer);
  ReservedSlot reserved3;
  int32_t(RMBE_STDCALL* setBytes)(ValueBuffer* self, const void* bytes, uint32_t length);  // 4
};
struct ValueBuffer { const ValueBufferVtbl* vtbl; };

struct MetadataSourceVtbl {
  RMBE_UNKNOWN_SLOTS(MetadataSource);
  int32_t(RMBE_STDCALL* getPropertySet)(MetadataSource* self, PropertySet** out);  // 3
};
struct MetadataSource { const MetadataSourceVtbl* vtbl; };

struct PropertySetVtbl {
  RMBE_UNKNOWN_SLOTS(PropertySet);
  ReservedSlot reserved3;
  ReservedSlot reserved4;
  ReservedSlot reserved5;
  ReservedSlot reserved6;
  ReservedSlot reserved7;
  ReservedSlot reserved8;
  ReservedSlot reserved9;
  ReservedSlot reserved10;
  int32_t(RMBE_STDCALL* setBufferProperty)(PropertySet* self, const char* name,
                                           ValueBuffer* value);  // 11
};
struct PropertySet { const PropertySetVtbl* vtbl; };

#undef RMBE_UNKNOWN_SLOTS

// The library's two exports, undecorated in its export table.
extern "C" {
// Stores a new engine with one reference in *engine.
int32_t RMBE_STDCALL RMACreateRMBuildEngine(BuildEngine** engine);
// paths: consecutive NUL-terminated "NAME=folder" entries ended by an empty one.
int32_t RMBE_STDCALL SetDLLAccessPath(const char* paths);
}

// Releases *iface if present and empties the field.
template <class Iface>
void releaseInterface(Iface*& iface) {
  if (iface) {
    Iface* held = iface;
    iface = nullptr;
    held->vtbl->release(held);
  }
}

// Asks `from` for the interface iid; *out stays null unless the result succeeds
// with an object.
template <class From, class To>
int32_t queryInterface(From* from, const Guid& iid, To** out) {
  *out = nullptr;
  void* raw = nullptr;
  int32_t result = from->vtbl->queryInterface(from, &iid, &raw);
  if (!failed(result)) *out = static_cast<To*>(raw);
  return result;
}

namespace rmbe_layout {
constexpr size_t slot(size_t n) { return n * sizeof(void*); }
static_assert(offsetof(BuildEngineVtbl, getPinEnumerator) == slot(3), "engine slot 3");
static_assert(offsetof(BuildEngineVtbl, getClipProperties) == slot(4), "engine slot 4");
static_assert(offsetof(BuildEngineVtbl, getTargetSettingsObject) == slot(6), "engine slot 6");
static_assert(offsetof(BuildEngineVtbl, setRealTime) == slot(9), "engine slot 9");
static_assert(offsetof(BuildEngineVtbl, setMultiRate) == slot(11), "engine slot 11");
static_assert(offsetof(BuildEngineVtbl, setContentTypeEnabled) == slot(13), "engine slot 13");
static_assert(offsetof(BuildEngineVtbl, prepareToEncode) == slot(17), "engine slot 17");
static_assert(offsetof(BuildEngineVtbl, endEncoding) == slot(18), "engine slot 18");
static_assert(offsetof(PinEnumeratorVtbl, nextPin) == slot(4), "enumerator slot 4");
static_assert(offsetof(InputPinVtbl, getMimeType) == slot(3), "pin slot 3");
static_assert(offsetof(InputPinVtbl, getPinProperties) == slot(4), "pin slot 4");
static_assert(offsetof(InputPinVtbl, encode) == slot(6), "pin slot 6");
static_assert(sizeof(PinPropertiesVtbl) == slot(3), "pin properties: unknown slots only");
static_assert(offsetof(AudioPinPropertiesVtbl, setSampleRate) == slot(4), "audio slot 4");
static_assert(offsetof(AudioPinPropertiesVtbl, setSampleSize) == slot(6), "audio slot 6");
static_assert(offsetof(AudioPinPropertiesVtbl, setChannelCount) == slot(8), "audio slot 8");
static_assert(offsetof(PinSizeInfoVtbl, getPreferredChunkBytes) == slot(4), "size slot 4");
static_assert(offsetof(ClipPropertiesVtbl, setPerfectPlay) == slot(4), "clip slot 4");
static_assert(offsetof(ClipPropertiesVtbl, setLiveBroadcast) == slot(6), "clip slot 6");
static_assert(offsetof(ClipPropertiesVtbl, setOutputFile) == slot(8), "clip slot 8");
static_assert(offsetof(ClipPropertiesVtbl, setTitle) == slot(12), "clip slot 12");
static_assert(offsetof(ClipPropertiesVtbl, setAuthor) == slot(14), "clip slot 14");
static_assert(offsetof(ClipPropertiesVtbl, setCopyright) == slot(16), "clip slot 16");
static_assert(offsetof(ClipPropertiesVtbl, setMobilePlay) == slot(20), "clip slot 20");
static_assert(offsetof(ClipPropertiesVtbl, setSelectiveRecord) == slot(22), "clip slot 22");
static_assert(offsetof(ClipPropertiesVtbl, setRecordable) == slot(24), "clip slot 24");
static_assert(offsetof(TargetSettingsVtbl, addTargetAudience) == slot(3), "target slot 3");
static_assert(offsetof(TargetSettingsVtbl, clearTargetAudiences) == slot(5), "target slot 5");
static_assert(offsetof(TargetSettingsVtbl, setAudioContent) == slot(9), "target slot 9");
static_assert(offsetof(ClassFactoryVtbl, createInstance) == slot(3), "factory slot 3");
static_assert(offsetof(MediaSampleVtbl, setData) == slot(3), "sample slot 3");
static_assert(offsetof(ValueBufferVtbl, setBytes) == slot(4), "value slot 4");
static_assert(offsetof(MetadataSourceVtbl, getPropertySet) == slot(3), "metadata slot 3");
static_assert(offsetof(PropertySetVtbl, setBufferProperty) == slot(11), "property slot 11");
static_assert(sizeof(Guid) == 16, "GUID layout");
}  // namespace rmbe_layout
