#include <mutex>

#include "resample/filter_cache_lock.h"

namespace {

// Constant-initialised, so it exists before any converter and needs no
// clean-up at exit.
std::mutex cacheMutex;

}  // namespace

void lockFilterCache() { cacheMutex.lock(); }
void unlockFilterCache() { cacheMutex.unlock(); }
// A constant-initialised mutex holds nothing to free.
void releaseFilterCacheLock() {}
