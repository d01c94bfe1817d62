// These test programs link the converter itself, without the library entry
// that makes its stream lock: it is made before any test runs.
#include "acm_stream_lock.h"

namespace {

[[maybe_unused]] const bool opened = openAcmStreamLock();

}  // namespace
