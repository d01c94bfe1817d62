// The Windows platform object and its preview window.
#include "engine/preview_platform.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

TEST(PreviewPlatform, FactoryMakesAPlatformThatInitialisesWithoutAWindow) {
  std::unique_ptr<PlatformObject> platform(createPlatformObject());
  ASSERT_NE(platform, nullptr);
  EXPECT_EQ(platform->initialise(), 0);
  EXPECT_EQ(platform->acceptValue(12345), 0);
  auto* preview = dynamic_cast<PreviewPlatform*>(platform.get());
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(preview->previewWindow(), nullptr);
}

TEST(PreviewPlatform, WindowHasTheFrameSizeAsItsClientAreaAndGoesAwayOnDestroy) {
  PreviewPlatform platform;
  EXPECT_EQ(platform.createPreviewWindow(48, 64), 0);
  HWND window = platform.previewWindow();
  ASSERT_TRUE(IsWindow(window));
  RECT client;
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right - client.left, 64);
  EXPECT_EQ(client.bottom - client.top, 48);
  char title[32] = {};
  GetWindowTextA(window, title, sizeof title);
  EXPECT_STREQ(title, "RealPreview");
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  EXPECT_STREQ(className, "CRealPreviewWindowClass");
  EXPECT_EQ(GetWindowLongPtrA(window, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&platform));

  const BITMAPINFOHEADER& header = platform.frameHeader();
  EXPECT_EQ(header.biSize, 40u);
  EXPECT_EQ(header.biWidth, 64);
  EXPECT_EQ(header.biHeight, 48);
  EXPECT_EQ(header.biPlanes, 1);
  EXPECT_EQ(header.biBitCount, 24);
  EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(header.biSizeImage, 64u * 48u * 3u);

  std::vector<unsigned char> frame(64 * 48 * 3, 0x80);
  EXPECT_EQ(platform.showPreviewFrame(frame.data(), 0, 0), 0);

  platform.destroyPreviewWindow();
  EXPECT_EQ(platform.previewWindow(), nullptr);
  EXPECT_FALSE(IsWindow(window));
  platform.destroyPreviewWindow();  // a second call finds nothing to do
}

TEST(PreviewPlatform, SecondWindowAfterTheClassExistsAndDestructorClosesIt) {
  HWND window = nullptr;
  {
    PreviewPlatform first;
    first.createPreviewWindow(16, 16);
    first.destroyPreviewWindow();
    PreviewPlatform second;
    second.createPreviewWindow(20, 30);
    window = second.previewWindow();
    ASSERT_TRUE(IsWindow(window));
  }
  EXPECT_FALSE(IsWindow(window));
}

TEST(PreviewPlatform, FrameWithoutAWindowOnlyPumpsMessages) {
  PreviewPlatform platform;
  std::vector<unsigned char> frame(4 * 4 * 3);
  EXPECT_EQ(platform.showPreviewFrame(frame.data(), 0, 0), 0);
}

}  // namespace
