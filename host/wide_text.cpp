#include "host/wide_text.h"

#include <windows.h>

std::wstring widened(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  std::wstring wide(size_t(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], length);
  return wide;
}

std::string narrowedToUtf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(size_t(length > 0 ? length : 0), '\0');
  if (length > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), &utf8[0], length, nullptr, nullptr);
  return utf8;
}

bool ansiFormOf(const std::wstring& wide, std::string& ansi) {
  ansi.clear();
  if (wide.empty()) return true;
  BOOL lossy = FALSE;
  int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), nullptr, 0,
                                   nullptr, &lossy);
  if (length <= 0 || lossy) return false;
  ansi.assign(size_t(length), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), &ansi[0], length, nullptr,
                      &lossy);
  // Round trip: some code pages map characters without reporting a loss.
  return !lossy && widenedFromAnsi(ansi) == wide;
}

std::wstring widenedFromAnsi(const std::string& ansi) {
  if (ansi.empty()) return std::wstring();
  int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
  std::wstring wide(size_t(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), &wide[0], length);
  return wide;
}

void writeText(std::FILE* stream, const std::string& utf8) {
  HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
    std::fflush(stream);
    std::wstring wide = widened(utf8);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), DWORD(wide.size()), &written, nullptr);
    return;
  }
  // Past the C runtime, whose text mode would turn each LF into CR LF.
  std::fflush(stream);
  DWORD written = 0;
  WriteFile(handle, utf8.data(), DWORD(utf8.size()), &written, nullptr);
}
