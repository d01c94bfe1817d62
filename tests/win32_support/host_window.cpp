#include "tests/win32_support/host_window.h"

namespace hostwindow {

namespace {
const char kHostClass[] = "TestHostOptionsWindow";

bool registerHostClass() {
  static const ATOM registered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kHostClass;
    return RegisterClassA(&windowClass);
  }();
  return registered != 0;
}
}  // namespace

HWND create(bool visible, int width, int height) {
  if (!registerHostClass()) return nullptr;
  const DWORD style = WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0);
  return CreateWindowExA(0, kHostClass, "Options", style, 0, 0, width, height, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

std::vector<HWND> panelsOf(HWND host) {
  std::vector<HWND> panels;
  for (HWND panel = FindWindowExA(host, nullptr, "#32770", nullptr); panel;
       panel = FindWindowExA(host, panel, "#32770", nullptr)) {
    panels.push_back(panel);
  }
  return panels;
}

}  // namespace hostwindow
