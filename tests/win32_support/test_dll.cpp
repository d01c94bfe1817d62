#include "tests/win32_support/test_dll.h"

namespace testdll {

std::string programFolder() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

HMODULE loadBesideProgram(const char* fileName) {
  return LoadLibraryExA((programFolder() + fileName).c_str(), nullptr,
                        LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace testdll
