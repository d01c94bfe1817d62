// The three exports that drive a CompressionObject. They are the C boundary
// between the host and the plug-in: nothing may unwind through them, so an
// exhausted heap reported by a throwing allocation becomes error code 3 here.
#include <new>
#include <type_traits>

#include "plugin/compression_object.h"
#include "settings/encoder_settings.h"
#include "plugin/host_interface.h"
#include "plugin/live_objects.h"
#include "settings/settings_persistence.h"

namespace {

// The host's error-code slot; a host that passes none is not written to.
void report(int32_t* errorCode, int32_t code) {
  if (errorCode != nullptr) *errorCode = code;
}

}  // namespace

CompressionObject* __cdecl CreateNewCompressionObject(const char* fileName, int32_t* errorCode,
                                                      const WAVEFORMATEX* inputFormat) {
  CompressionObject* object = new (std::nothrow) CompressionObject();
  if (object == nullptr) return nullptr;
  if (!addLiveObject(object)) {
    delete object;
    return nullptr;
  }
  report(errorCode, CompressionObject::kOk);
  if (inputFormat == nullptr) {
    report(errorCode, CompressionObject::kFailed);
    return object;
  }
  int32_t code = CompressionObject::kFailed;
  try {
    // The one copy of the settings this conversion will ever read, taken
    // whole while loads and panel edits may run on other threads.
    code = object->create(fileName, *inputFormat, storedEncoderSettings());
  } catch (const std::bad_alloc&) {
    code = CompressionObject::kFailed;
  }
  report(errorCode, code);
  return object;
}

int32_t __cdecl ANewDataBlockArrived(CompressionObject* object, const void* data, uint32_t byteCount,
                                     uint32_t endOfStream, int32_t* errorCode) {
  report(errorCode, CompressionObject::kOk);
  if (!isLiveObject(object) || (data == nullptr && byteCount != 0)) {
    report(errorCode, CompressionObject::kFailed);
    return 0;
  }
  // Only the low byte of the flag's slot is defined.
  bool last = (endOfStream & 0xFF) != 0;
  int32_t code = CompressionObject::kFailed;
  try {
    code = object->processBlock(static_cast<const uint8_t*>(data), byteCount, last);
  } catch (const std::bad_alloc&) {
    code = CompressionObject::kFailed;
  }
  report(errorCode, code);
  return 0;
}

// A pointer that is not live (null, never handed out, deleted already) is ignored.
void __cdecl DeleteCompressionObject(CompressionObject* object) {
  if (removeLiveObject(object)) delete object;
}

// Each definition above must have exactly the type hosts call it through (a
// definition with other parameters would be an overload, and break these).
static_assert(std::is_same<decltype(CreateNewCompressionObject),
                           CreateNewCompressionObjectFunction>::value,
              "the export differs from the host interface");
static_assert(std::is_same<decltype(ANewDataBlockArrived), ANewDataBlockArrivedFunction>::value,
              "the export differs from the host interface");
static_assert(std::is_same<decltype(DeleteCompressionObject), DeleteCompressionObjectFunction>::value,
              "the export differs from the host interface");
