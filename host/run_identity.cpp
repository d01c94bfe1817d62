#include "host/run_identity.h"

#include <windows.h>

#include <cwchar>

namespace {

bool isHexText(const std::wstring& text) {
  if (text.empty() || text.size() > 8) return false;
  for (wchar_t c : text) {
    if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
  }
  return true;
}

DWORD msOf(const FILETIME& time) {
  ULARGE_INTEGER ticks;
  ticks.LowPart = time.dwLowDateTime;
  ticks.HighPart = time.dwHighDateTime;
  return DWORD(ticks.QuadPart / 10000);
}

// When `process` started, in ms, the same whoever asks. False when it cannot be told.
bool startTimeMsOf(HANDLE process, DWORD& startMs) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return false;
  startMs = msOf(created);
  return true;
}

// When this process started, so the name is the same from any thread.
DWORD startTimeMs() {
  DWORD startMs = 0;
  if (startTimeMsOf(GetCurrentProcess(), startMs)) return startMs;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return msOf(now);
}

std::wstring makeRunName() {
  wchar_t name[32];
  wsprintfW(name, L"%lx-%lx", GetCurrentProcessId(), startTimeMs());
  return name;
}

DWORD hexValueOf(const std::wstring& text) { return DWORD(std::wcstoul(text.c_str(), nullptr, 16)); }

}  // namespace

const std::wstring& thisRunName() {
  static const std::wstring name = makeRunName();
  return name;
}

bool isRunName(const std::wstring& text) {
  size_t dash = text.find(L'-');
  return dash != std::wstring::npos && isHexText(text.substr(0, dash)) && isHexText(text.substr(dash + 1));
}

bool isRunOver(const std::wstring& runName) {
  if (!isRunName(runName)) return false;
  const size_t dash = runName.find(L'-');
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, hexValueOf(runName.substr(0, dash)));
  if (process == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;  // no process has that id
  DWORD startMs = 0;
  const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  const bool another = startTimeMsOf(process, startMs) && startMs != hexValueOf(runName.substr(dash + 1));
  CloseHandle(process);
  return ended || another;
}
