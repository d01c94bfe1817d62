#include "host/windows_paths.h"

#include <windows.h>

#include "host/wide_text.h"

std::wstring fullPathOf(const std::wstring& path) {
  DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  return full;
}

std::wstring folderOf(const std::wstring& path) {
  size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

bool ansiShortPathOf(const std::wstring& path, std::string& ansi) {
  wchar_t shortPath[32768];
  const DWORD capacity = sizeof shortPath / sizeof shortPath[0];
  DWORD length = GetShortPathNameW(path.c_str(), shortPath, capacity);
  return length > 0 && length < capacity && ansiFormOf(shortPath, ansi);
}

std::wstring pathAsStored(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return path;
  FindClose(search);
  const std::wstring folder = folderOf(path);
  return folder.empty() ? std::wstring(found.cFileName) : folder + L"\\" + found.cFileName;
}
