#pragma once

// The lock of the process-wide filter cache (filter_cache.cpp); one thin
// implementation per platform. Taking it allocates nothing.

void lockFilterCache();
void unlockFilterCache();

class FilterCacheHold {
 public:
  FilterCacheHold() { lockFilterCache(); }
  ~FilterCacheHold() { unlockFilterCache(); }
  FilterCacheHold(const FilterCacheHold&) = delete;
  FilterCacheHold& operator=(const FilterCacheHold&) = delete;
};
