#pragma once

#include <cstdio>

// Seeking and telling beyond 2 GiB: std::fseek and std::ftell take a long,
// which is 32 bits on Windows.
inline bool seekFile64(std::FILE* file, long long offset, int origin) {
#ifdef _WIN32
  return _fseeki64(file, offset, origin) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), origin) == 0;
#endif
}

// The position, or -1 when the file has none (a pipe, say).
inline long long tellFile64(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return static_cast<long long>(ftello(file));
#endif
}
