// TEMPORARY: the three object exports with their final signatures, until the
// compression object (compression_object.h/.cpp) exists. Until then every
// creation fails honestly with error code 3 and no block can be processed.
// Replace this whole file when the compression object lands.
#include <new>

#include "exports.h"

namespace {
constexpr int32_t kFailed = 3;
}

// Stand-in so that creation can hand the host a deletable object.
class CompressionObject {};

CompressionObject* __cdecl CreateNewCompressionObject(const char*, int32_t* errorCode,
                                                      const WAVEFORMATEX*) {
  CompressionObject* object = new (std::nothrow) CompressionObject;
  if (!object) return nullptr;
  *errorCode = kFailed;  // no encoder can be set up yet
  return object;
}

int32_t __cdecl ANewDataBlockArrived(CompressionObject*, const void*, uint32_t, uint32_t,
                                     int32_t* errorCode) {
  *errorCode = kFailed;
  return 0;
}

void __cdecl DeleteCompressionObject(CompressionObject* object) { delete object; }
