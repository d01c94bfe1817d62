#include "host/interrupt.h"

#include <windows.h>

namespace {

const int kInterruptedStatus = 130;
const int kTerminatedStatus = 143;
// Windows ends a process this long after a close event anyway.
const DWORD kCloseCleanupWaitMs = 4500;

volatile LONG gExitStatus = 0;
HANDLE gCleanupDone = nullptr;

BOOL WINAPI onConsoleControl(DWORD event) {
  bool keyboard = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  InterlockedCompareExchange(&gExitStatus, keyboard ? kInterruptedStatus : kTerminatedStatus, 0);
  // After a close, log-off or shutdown event the process ends when this
  // handler returns: give the conversions time to clean up first.
  if (!keyboard && gCleanupDone != nullptr) WaitForSingleObject(gCleanupDone, kCloseCleanupWaitMs);
  return TRUE;
}

}  // namespace

void installInterruptHandler() {
  if (gCleanupDone == nullptr) gCleanupDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

bool interrupted() { return gExitStatus != 0; }

int interruptExitStatus() { return int(gExitStatus); }

const char* interruptName() { return gExitStatus == kInterruptedStatus ? "interrupted" : "terminated"; }

void interruptCleanupDone() {
  if (gCleanupDone != nullptr) SetEvent(gCleanupDone);
}
