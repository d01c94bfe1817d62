// Hangs in a lock cycle: each of two threads holds one critical section and
// waits for the other's. cmake/wine-run.sh's watchdog must report and end it.
#include <windows.h>

namespace {

CRITICAL_SECTION first;
CRITICAL_SECTION second;
HANDLE bothHeld;

DWORD WINAPI takeSecondThenFirst(LPVOID) {
  EnterCriticalSection(&second);
  ReleaseSemaphore(bothHeld, 1, nullptr);
  WaitForSingleObject(bothHeld, INFINITE);
  EnterCriticalSection(&first);
  return 0;
}

}  // namespace

int main() {
  InitializeCriticalSection(&first);
  InitializeCriticalSection(&second);
  bothHeld = CreateSemaphoreA(nullptr, 0, 2, nullptr);
  EnterCriticalSection(&first);
  HANDLE other = CreateThread(nullptr, 0, takeSecondThenFirst, nullptr, 0, nullptr);
  WaitForSingleObject(bothHeld, INFINITE);  // the other thread holds `second`
  ReleaseSemaphore(bothHeld, 1, nullptr);
  EnterCriticalSection(&second);
  WaitForSingleObject(other, INFINITE);
  return 0;
}
