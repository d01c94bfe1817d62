// The platform object of builds without a window system (native builds): it
// initialises like the Windows one and has no preview window to show.
#include <new>

#include "engine/platform_object.h"

namespace {

class HeadlessPlatform : public PlatformObject {
 public:
  int32_t initialise() override { return 0; }
  int32_t acceptValue(int32_t) override { return 0; }
  int32_t createPreviewWindow(int16_t, int16_t) override { return 0; }
  void destroyPreviewWindow() override {}
  int32_t showPreviewFrame(const void*, int32_t, int32_t) override { return 0; }
};

}  // namespace

PlatformObject* createPlatformObject() { return new (std::nothrow) HeadlessPlatform(); }
