#pragma once

// Zeroed arrays from new (std::nothrow): the converter reports memory it
// cannot have as a result, never as an exception.

#include <cstdint>
#include <memory>
#include <new>

template <typename T>
bool allocateZeroed(std::unique_ptr<T[]>& array, int64_t count) {
  array.reset(new (std::nothrow) T[size_t(count)]());
  return array != nullptr;
}

// `channels` zeroed arrays of `count` doubles.
inline bool allocatePerChannel(std::unique_ptr<std::unique_ptr<double[]>[]>& arrays, int channels, int64_t count) {
  arrays.reset(new (std::nothrow) std::unique_ptr<double[]>[size_t(channels)]);
  if (!arrays) return false;
  for (int ch = 0; ch < channels; ++ch) {
    if (!allocateZeroed(arrays[ch], count)) return false;
  }
  return true;
}
