#pragma once
// The small platform object every build session makes first. Only
// initialise is called during a conversion; the preview operations belong to
// the object's interface (a window that shows 24-bit frames) and are not
// used by the plug-in.
#include <cstdint>

class PlatformObject {
 public:
  virtual ~PlatformObject() = default;
  virtual int32_t initialise() = 0;
  virtual int32_t acceptValue(int32_t value) = 0;
  virtual int32_t createPreviewWindow(int16_t height, int16_t width) = 0;
  virtual void destroyPreviewWindow() = 0;
  virtual int32_t showPreviewFrame(const void* pixels, int32_t unused1, int32_t unused2) = 0;
};

// Makes the platform's implementation (PreviewPlatform on Windows); null when
// memory is exhausted.
PlatformObject* createPlatformObject();
