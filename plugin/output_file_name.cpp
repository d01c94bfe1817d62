#include "plugin/output_file_name.h"

#include <windows.h>

#include <cstring>

bool namesAFile(const char* name) {
  const size_t length = std::strlen(name);
  if (length == 0 || name[length - 1] == '\\' || name[length - 1] == '/') return false;
  const DWORD attributes = GetFileAttributesA(name);
  return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
