#include "host/run_identity.h"

#include <windows.h>

namespace {

bool isHexText(const std::wstring& text) {
  if (text.empty() || text.size() > 8) return false;
  for (wchar_t c : text) {
    if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
  }
  return true;
}

// When this process started, in ms, so the name is the same from any thread.
DWORD startTimeMs() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) GetSystemTimeAsFileTime(&created);
  ULARGE_INTEGER ticks;
  ticks.LowPart = created.dwLowDateTime;
  ticks.HighPart = created.dwHighDateTime;
  return DWORD(ticks.QuadPart / 10000);
}

std::wstring makeRunName() {
  wchar_t name[32];
  wsprintfW(name, L"%lx-%lx", GetCurrentProcessId(), startTimeMs());
  return name;
}

}  // namespace

const std::wstring& thisRunName() {
  static const std::wstring name = makeRunName();
  return name;
}

bool isRunName(const std::wstring& text) {
  size_t dash = text.find(L'-');
  return dash != std::wstring::npos && isHexText(text.substr(0, dash)) && isHexText(text.substr(dash + 1));
}
