// Programs that link the converter without the library entry make its lock first.
#include "plugin/acm_stream_lock.h"

[[maybe_unused]] static const bool opened = openAcmStreamLock();
