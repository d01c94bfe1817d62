#pragma once

// The lock of the process-wide filter cache (filter_cache.cpp); one thin
// implementation per platform. Taking it allocates nothing.

void lockFilterCache();
void unlockFilterCache();
// Frees what the lock holds of the system, once nothing can take it any
// more (a library being unloaded); the next lockFilterCache makes it anew.
void releaseFilterCacheLock();

class FilterCacheHold {
 public:
  FilterCacheHold() { lockFilterCache(); }
  ~FilterCacheHold() { unlockFilterCache(); }
  FilterCacheHold(const FilterCacheHold&) = delete;
  FilterCacheHold& operator=(const FilterCacheHold&) = delete;
};
