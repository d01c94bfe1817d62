#pragma once
// A lock for the whole process that lives as long as the library holding it:
// one critical section, made by open() before its first use and freed by
// close() once nothing can take it any more.
//
// Critical sections exist on every Windows the plug-in supports (the slim
// reader/writer locks of later versions do not exist on XP). open() makes XP
// allocate the section's wait event at once, so that a contended enter
// cannot fail later for lack of memory; later versions ignore that request.
#include <windows.h>

class ProcessLock {
public:
  // Constant-initialised, so a lock opened before main by another file's
  // static initialiser is never reset afterwards.
  constexpr ProcessLock() = default;
  ProcessLock(const ProcessLock&) = delete;
  ProcessLock& operator=(const ProcessLock&) = delete;

  // Makes the section, with `spinCount` spins before a contended enter
  // sleeps; does nothing when it is open already. False when Windows had no
  // memory for it.
  bool open(DWORD spinCount);
  // Frees the section when it is open.
  void close();

  void enter() { EnterCriticalSection(&section); }
  void leave() { LeaveCriticalSection(&section); }

private:
  CRITICAL_SECTION section{};
  bool opened = false;
};

// Holds a lock for its scope.
class ProcessLockHold {
public:
  explicit ProcessLockHold(ProcessLock& lock) : held(lock) { held.enter(); }
  ~ProcessLockHold() { held.leave(); }
  ProcessLockHold(const ProcessLockHold&) = delete;
  ProcessLockHold& operator=(const ProcessLockHold&) = delete;

private:
  ProcessLock& held;
};
