// Path of a module's own file on Windows.
#include <windows.h>

#include <vector>

#include "engine/access_path.h"

std::string moduleFilePath(void* moduleHandle) {
  // Grow the buffer until the name fits: a truncated path would name the
  // wrong folder.
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    std::vector<char> path(size);
    DWORD length = GetModuleFileNameA(static_cast<HMODULE>(moduleHandle), path.data(), size);
    if (length == 0) return std::string();
    if (length < size) return std::string(path.data(), length);
  }
  return std::string();
}
