#pragma once
#include <windows.h>

#include <string>

// A process killed outright (SIGTERM under Wine, TerminateProcess) runs no
// handler of its own, yet must leave no half-written output and no private
// settings key. A second plughost process watches over it: the run tells it,
// through a pipe, every temporary folder and key it holds; when the pipe
// breaks before the run said it ended well, the watcher removes what is
// left and says so on the run's stderr.
class CleanupWatchdog {
public:
  CleanupWatchdog();
  ~CleanupWatchdog();
  CleanupWatchdog(const CleanupWatchdog&) = delete;
  CleanupWatchdog& operator=(const CleanupWatchdog&) = delete;

  // Starts the watcher; without one (it could not start) the run goes on
  // unguarded against a kill.
  void start();
  void watchFolder(const std::wstring& folder) { send(L"folder " + folder); }
  void forgetFolder(const std::wstring& folder) { send(L"done " + folder); }
  void watchKey(const std::wstring& keyPath) { send(L"key " + keyPath); }
  // The run ended by itself: the watcher leaves.
  void finish();

private:
  void send(const std::wstring& line);

  HANDLE pipe = nullptr;
  CRITICAL_SECTION lock;
};

// The watcher's side: `handleText` is the inherited pipe's read handle.
// Returns its exit status.
int runCleanupWatch(const std::string& handleText);

// The argument that starts the watcher (internal, not in the usage).
extern const char kCleanupWatchArgument[];
