#pragma once
// The Windows platform object: initialise does nothing; the preview window
// draws 24-bit bottom-up frames of the size given to createPreviewWindow
// through DrawDib, stretched over the window's client area.
#include <windows.h>
#include <vfw.h>

#include "engine/platform_object.h"

class PreviewPlatform : public PlatformObject {
 public:
  PreviewPlatform();
  ~PreviewPlatform() override;
  int32_t initialise() override;
  int32_t acceptValue(int32_t value) override;
  int32_t createPreviewWindow(int16_t height, int16_t width) override;
  void destroyPreviewWindow() override;
  int32_t showPreviewFrame(const void* pixels, int32_t unused1, int32_t unused2) override;

  HWND previewWindow() const { return window_; }
  const BITMAPINFOHEADER& frameHeader() const { return frameHeader_; }

 private:
  void fillFrameHeader(int16_t height, int16_t width);
  static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  HDRAWDIB drawDib_ = nullptr;
  HDC deviceContext_ = nullptr;
  RECT clientRect_ = {0, 0, 0, 0};
  BITMAPINFOHEADER frameHeader_;
};
