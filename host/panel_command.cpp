#include "host/panel_command.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/plugin_library.h"
#include "host/run_settings.h"
#include "host/wide_text.h"

namespace {

const char kWindowClass[] = "PlughostOptionsWindow";
const UINT_PTR kScreenshotTimer = 1;
const UINT kScreenshotDelayMs = 1500;
const int kCloseButtonId = 1;
const int kClientWidth = 440;
const int kClientHeight = 200;

std::string gScreenshotPath;
bool gScreenshotSaved = false;

// Saves the window's client area, children included, as a 24-bit BMP.
bool saveWindowBitmap(HWND window, const std::string& path) {
  RECT client;
  GetClientRect(window, &client);
  int width = client.right, height = client.bottom;
  HDC windowDc = GetDC(window);
  HDC memoryDc = CreateCompatibleDC(windowDc);
  HBITMAP bitmap = CreateCompatibleBitmap(windowDc, width, height);
  HGDIOBJ previous = SelectObject(memoryDc, bitmap);
  BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
  SelectObject(memoryDc, previous);

  BITMAPINFOHEADER info = {};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  DWORD rowBytes = (DWORD(width) * 3 + 3) & ~3u;
  std::vector<BYTE> pixels(rowBytes * DWORD(height));
  GetDIBits(memoryDc, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memoryDc);
  ReleaseDC(window, windowDc);

  BITMAPFILEHEADER header = {};
  header.bfType = 0x4D42;  // "BM"
  header.bfOffBits = sizeof header + sizeof info;
  header.bfSize = header.bfOffBits + DWORD(pixels.size());
  FILE* file = _wfopen(widened(path).c_str(), L"wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(&header, sizeof header, 1, file) == 1 &&
            std::fwrite(&info, sizeof info, 1, file) == 1 &&
            std::fwrite(pixels.data(), 1, pixels.size(), file) == pixels.size();
  return std::fclose(file) == 0 && ok;
}

LRESULT CALLBACK optionsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kScreenshotTimer) {
        KillTimer(window, kScreenshotTimer);
        gScreenshotSaved = saveWindowBitmap(window, gScreenshotPath);
        DestroyWindow(window);
      }
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kCloseButtonId) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND createOptionsWindow() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = optionsWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassA(&windowClass);
  // Client area: the panel at (20, 34) plus room for the host's button row.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
  RECT frame = {0, 0, kClientWidth, kClientHeight};
  AdjustWindowRect(&frame, style, FALSE);
  HWND window = CreateWindowA(kWindowClass, "Options - RealAudio encoder", style, CW_USEDEFAULT,
                              CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                              nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return nullptr;
  // The host's own frame around the plug-in's panel: a caption line on top
  // (the panel goes to (20, 34)) and a button at the bottom.
  HFONT font = reinterpret_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HWND caption = CreateWindowA("STATIC", "Output format: RealAudio (.rm)", WS_CHILD | WS_VISIBLE, 20,
                               10, 400, 18, window, nullptr, windowClass.hInstance, nullptr);
  HWND close = CreateWindowA("BUTTON", "Close", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                             kClientWidth - 110, kClientHeight - 40, 90, 26, window, reinterpret_cast<HMENU>(kCloseButtonId),
                             windowClass.hInstance, nullptr);
  SendMessageA(caption, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  SendMessageA(close, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return window;
}

// False when no one could see the window, so it would wait forever: a
// window station that is not shown (a service), or Wine without an X display.
bool displayAvailable() {
  USEROBJECTFLAGS flags = {};
  if (GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) &&
      (flags.dwFlags & WSF_VISIBLE) == 0) {
    return false;
  }
  bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return !underWine || GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) > 0 ||
         GetEnvironmentVariableW(L"WAYLAND_DISPLAY", nullptr, 0) > 0;
}

}  // namespace

int runPanelCommand(const HostOptions& options) {
  if (!displayAvailable()) {
    writeText(stderr, "plughost: no display to show the panel on (under Wine, set DISPLAY to an X server)\n");
    return 2;
  }
  std::string error;
  // --set values show on this panel only; edits then stay in this run, too.
  RunSettings settings;
  if (!options.settings.empty() && !settings.begin(options.settings, error)) {
    writeText(stderr, "plughost: " + error + "\n");
    return 2;
  }
  PluginLibrary library;
  std::string pluginPath = options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
  if (!library.load(pluginPath, error)) {
    writeText(stderr, "plughost: " + error + "\n");
    return 2;
  }
  HWND window = createOptionsWindow();
  if (window == nullptr) {
    writeText(stderr, "plughost: cannot create the options window\n");
    return 2;
  }
  if (!library.exports().showConfigBit(window)) {
    writeText(stderr, "plughost: the plug-in did not place its settings panel\n");
    DestroyWindow(window);
    return 1;
  }
  if (!options.screenshotPath.empty()) {
    gScreenshotPath = options.screenshotPath;
    SetTimer(window, kScreenshotTimer, kScreenshotDelayMs, nullptr);
  }
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  library.exports().removeConfigBit();
  if (!options.screenshotPath.empty() && !gScreenshotSaved) {
    writeText(stderr, "plughost: cannot write " + options.screenshotPath + "\n");
    return 1;
  }
  return 0;
}
