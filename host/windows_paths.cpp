#include "host/windows_paths.h"

#include <windows.h>

#include "host/wide_text.h"

namespace {

// The volume and index that tell a file apart from every other; false when
// the file cannot be opened.
bool fileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& identity) {
  // No access asked for: the attributes alone, even of a file open elsewhere;
  // backup semantics let a folder be opened too.
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(file, &identity) != 0;
  CloseHandle(file);
  return known;
}

}  // namespace

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

bool areTwoFiles(const std::wstring& a, const std::wstring& b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  if (!fileIdentity(a, first) || !fileIdentity(b, second)) return false;
  return first.dwVolumeSerialNumber != second.dwVolumeSerialNumber ||
         first.nFileIndexHigh != second.nFileIndexHigh || first.nFileIndexLow != second.nFileIndexLow;
}
