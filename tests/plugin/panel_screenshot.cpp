// Shows the settings panel the way the host does: a host options window at
// the top left of the screen with the panel placed in it by ShowConfigBit.
//
//   panel_screenshot READY_FILE DONE_FILE
//
// Once the window is drawn it creates READY_FILE, keeps the window up until
// DONE_FILE exists (the screenshot has been taken) or 30 s pass, and exits
// with 0, or 1 when the library or the panel could not be set up.
#include <windows.h>

#include "tests/win32_support/host_window.h"
#include "tests/plugin/plugin_exports.h"
#include "tests/win32_support/test_dll.h"

namespace {

constexpr int kHostWidth = 420, kHostHeight = 160;

bool fileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void pumpMessagesFor(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(20);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  testdll::Library library(pluginapi::kDllName);
  const pluginapi::Exports plugin(library);
  if (!plugin.complete()) return 1;
  HWND host = hostwindow::create(true, kHostWidth, kHostHeight);
  if (!host || !plugin.show(host)) return 1;
  RedrawWindow(host, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  pumpMessagesFor(700);

  HANDLE ready = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (ready == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(ready);
  for (int waited = 0; waited < 30000 && !fileExists(argv[2]); waited += 100) pumpMessagesFor(100);
  DestroyWindow(host);
  return 0;
}
