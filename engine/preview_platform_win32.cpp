#include "engine/preview_platform.h"

#include <cstring>
#include <new>

namespace {
const char* const kPreviewClassName = "CRealPreviewWindowClass";
const char* const kPreviewTitle = "RealPreview";
const DWORD kPreviewStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
}  // namespace

PreviewPlatform::PreviewPlatform() { std::memset(&frameHeader_, 0, sizeof frameHeader_); }

PreviewPlatform::~PreviewPlatform() { destroyPreviewWindow(); }

int32_t PreviewPlatform::initialise() { return 0; }

int32_t PreviewPlatform::acceptValue(int32_t) { return 0; }

void PreviewPlatform::fillFrameHeader(int16_t height, int16_t width) {
  std::memset(&frameHeader_, 0, sizeof frameHeader_);
  frameHeader_.biSize = sizeof(BITMAPINFOHEADER);
  frameHeader_.biWidth = width;
  frameHeader_.biHeight = height;
  frameHeader_.biPlanes = 1;
  frameHeader_.biBitCount = 24;
  frameHeader_.biCompression = BI_RGB;
  frameHeader_.biSizeImage = static_cast<DWORD>(width * height * 24 / 8);
}

LRESULT CALLBACK PreviewPlatform::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

int32_t PreviewPlatform::createPreviewWindow(int16_t height, int16_t width) {
  fillFrameHeader(height, width);
  RECT frame = {0, 0, width, height};
  AdjustWindowRect(&frame, kPreviewStyle, FALSE);

  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA windowClass;
  std::memset(&windowClass, 0, sizeof windowClass);
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = windowProcedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kPreviewClassName;
  RegisterClassExA(&windowClass);  // fails harmlessly once the class exists

  window_ = CreateWindowExA(0, kPreviewClassName, kPreviewTitle, kPreviewStyle, 100, 100,
                            frame.right - frame.left, frame.bottom - frame.top, GetFocus(), nullptr,
                            instance, nullptr);
  if (!IsWindow(window_)) {
    window_ = nullptr;
    return 0;
  }
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  drawDib_ = DrawDibOpen();
  deviceContext_ = GetDC(window_);
  GetClientRect(window_, &clientRect_);
  DrawDibBegin(drawDib_, deviceContext_, clientRect_.right, clientRect_.bottom, &frameHeader_, width,
               height, 0);
  DrawDibRealize(drawDib_, deviceContext_, FALSE);
  return 0;
}

int32_t PreviewPlatform::showPreviewFrame(const void* pixels, int32_t, int32_t) {
  if (window_) {
    DrawDibDraw(drawDib_, deviceContext_, 0, 0, clientRect_.right, clientRect_.bottom, &frameHeader_,
                const_cast<void*>(pixels), 0, 0, frameHeader_.biWidth, frameHeader_.biHeight, 0);
  }
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}

void PreviewPlatform::destroyPreviewWindow() {
  if (!window_) return;
  ReleaseDC(window_, deviceContext_);
  deviceContext_ = nullptr;
  DrawDibEnd(drawDib_);
  DrawDibClose(drawDib_);
  drawDib_ = nullptr;
  DestroyWindow(window_);
  window_ = nullptr;
}

PlatformObject* createPlatformObject() { return new (std::nothrow) PreviewPlatform(); }
