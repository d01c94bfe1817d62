#include "plugin/acm_stream_lock.h"

#include "windows/process_lock.h"

namespace {

// No spin: an open or close holds the lock far longer than a spin.
constexpr DWORD kSpinCount = 0;

ProcessLock streamLock;

}  // namespace

bool openAcmStreamLock() { return streamLock.open(kSpinCount); }

void closeAcmStreamLock() { streamLock.close(); }

AcmStreamLock::AcmStreamLock() { streamLock.enter(); }

AcmStreamLock::~AcmStreamLock() { streamLock.leave(); }
