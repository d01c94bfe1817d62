#include "host/cleanup_watchdog.h"

#include <cstdio>
#include <cstdlib>
#include <set>

#include "host/run_settings.h"
#include "host/staged_output.h"
#include "host/wide_text.h"

const char kCleanupWatchArgument[] = "--cleanup-watch";

namespace {

HANDLE inheritableCopy(HANDLE handle) {
  HANDLE copy = nullptr;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

// What the run has announced and not yet taken back.
struct Holdings {
  std::set<std::wstring> folders;
  std::wstring keyPath;
  bool ended = false;

  void apply(const std::wstring& line) {
    if (line == L"end") ended = true;
    if (line.compare(0, 7, L"folder ") == 0) folders.insert(line.substr(7));
    if (line.compare(0, 5, L"done ") == 0) folders.erase(line.substr(5));
    if (line.compare(0, 4, L"key ") == 0) keyPath = line.substr(4);
  }
};

}  // namespace

CleanupWatchdog::CleanupWatchdog() { InitializeCriticalSection(&lock); }

CleanupWatchdog::~CleanupWatchdog() {
  finish();
  DeleteCriticalSection(&lock);
}

void CleanupWatchdog::start() {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return;
  SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
  wchar_t exe[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = inheritableCopy(GetStdHandle(STD_OUTPUT_HANDLE));
  startup.hStdError = inheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
  std::wstring command = L"\"" + std::wstring(exe, length) + L"\" " + widened(kCleanupWatchArgument) + L" " +
                         std::to_wstring(reinterpret_cast<uintptr_t>(readEnd));
  PROCESS_INFORMATION process = {};
  // Its own process group: a Ctrl-C meant for the run does not reach it.
  bool started = length > 0 && length < MAX_PATH &&
                 CreateProcessW(exe, &command[0], nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP, nullptr,
                                nullptr, &startup, &process);
  for (HANDLE handle : {startup.hStdOutput, startup.hStdError, readEnd}) {
    if (handle != nullptr) CloseHandle(handle);
  }
  if (!started) {
    CloseHandle(writeEnd);
    return;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  pipe = writeEnd;
}

void CleanupWatchdog::send(const std::wstring& line) {
  EnterCriticalSection(&lock);
  if (pipe != nullptr) {
    std::string bytes = narrowedToUtf8(line) + "\n";
    DWORD written = 0;
    WriteFile(pipe, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  }
  LeaveCriticalSection(&lock);
}

void CleanupWatchdog::finish() {
  send(L"end");
  EnterCriticalSection(&lock);
  if (pipe != nullptr) CloseHandle(pipe);
  pipe = nullptr;
  LeaveCriticalSection(&lock);
}

int runCleanupWatch(const std::string& handleText) {
  SetConsoleCtrlHandler(nullptr, TRUE);  // Ctrl-C is the run's to handle
  HANDLE pipe = reinterpret_cast<HANDLE>(uintptr_t(std::strtoull(handleText.c_str(), nullptr, 10)));
  Holdings holdings;
  std::string pending;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    pending.append(buffer, got);
    for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
      holdings.apply(widened(pending.substr(0, end)));
      pending.erase(0, end + 1);
    }
  }
  // Nothing announced (a run killed at its very start, or a stray start): nothing to do.
  if (holdings.ended || (holdings.keyPath.empty() && holdings.folders.empty())) return 0;
  for (const std::wstring& folder : holdings.folders) removeStagingFolder(folder);
  deletePrivateSettingsKey(holdings.keyPath);
  writeText(stderr, "plughost: stopped from outside (killed or terminated); removed " +
                        std::to_string(holdings.folders.size()) + " unfinished output(s)\n");
  return 0;
}
