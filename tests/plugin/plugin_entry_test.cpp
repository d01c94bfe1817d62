// rmplugin.dll loaded the way the host loads it: library entry, the settings
// exports and the embedded settings panel, on Wine's registry and dialog
// manager. Each case loads a fresh copy of the library.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/win32_support/host_key.h"
#include "tests/win32_support/host_window.h"
#include "tests/plugin/plugin_exports.h"
#include "tests/win32_support/test_dll.h"

namespace {

POINT placeInClientArea(HWND host, HWND child) {
  RECT frame;
  GetWindowRect(child, &frame);
  POINT topLeft = {frame.left, frame.top};
  ScreenToClient(host, &topLeft);
  return topLeft;
}

DWORD WINAPI doNothing(LPVOID) { return 0; }

// Starts and joins a thread, so that the library sees a thread attach.
bool runAThread(DWORD waitMs = 10000) {
  HANDLE thread = CreateThread(nullptr, 0, doNothing, nullptr, 0, nullptr);
  if (!thread) return false;
  const bool joined = WaitForSingleObject(thread, waitMs) == WAIT_OBJECT_0;
  CloseHandle(thread);
  return joined;
}

class PluginEntry : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(hostkey::remove()); }
  void TearDown() override {
    if (host_) DestroyWindow(host_);  // before the library (the panels' code) goes
    library_.reset();
  }
  // Loads the library now: the process attach reads the registry as it is.
  const pluginapi::Exports& load() {
    library_ = std::make_unique<testdll::Library>(pluginapi::kDllName);
    exports_ = std::make_unique<pluginapi::Exports>(*library_);
    return *exports_;
  }
  std::string extension() {
    char buffer[260];
    return exports_->extension(buffer);
  }
  HWND host() {
    if (!host_) host_ = hostwindow::create();
    return host_;
  }

  std::unique_ptr<testdll::Library> library_;
  std::unique_ptr<pluginapi::Exports> exports_;
  HWND host_ = nullptr;
};

TEST_F(PluginEntry, LoadsAndExportsTheSixFunctionsByTheirPlainNames) {
  const pluginapi::Exports& plugin = load();
  ASSERT_NE(library_->module(), nullptr) << "rmplugin.dll not loadable, error " << GetLastError();
  EXPECT_TRUE(plugin.complete());
}

TEST_F(PluginEntry, WithoutStoredSettingsTheExtensionIsRmAndTheKeyIsCreated) {
  const pluginapi::Exports& plugin = load();
  ASSERT_TRUE(plugin.complete());
  char buffer[260];
  EXPECT_EQ(plugin.extension(buffer), buffer);
  EXPECT_STREQ(buffer, ".rm");
  EXPECT_TRUE(hostkey::exists());
  EXPECT_TRUE(hostkey::valueNames().empty());
}

TEST_F(PluginEntry, StoredExtensionIsReadAtLoad) {
  ASSERT_TRUE(hostkey::setString("ZVKRMExt", ".ogg"));
  ASSERT_TRUE(load().complete());
  EXPECT_EQ(extension(), ".ogg");
}

// A stored extension that would make a host write outside its output folder
// (or that cannot be read whole) is handed out as the default; only the
// extension and its NUL reach the host's buffer.
TEST_F(PluginEntry, UnusableStoredExtensionsAreHandedOutAsRm) {
  for (const std::string& stored :
       std::vector<std::string>{"\\..\\..\\x.txt", "..\\x", ".x/y", ".c:x", ".*", std::string(259, 'x')}) {
    library_.reset();  // the next load is a new process attach
    ASSERT_TRUE(hostkey::setString("ZVKRMExt", stored));
    const pluginapi::Exports& plugin = load();
    ASSERT_TRUE(plugin.complete());
    char buffer[260];
    std::memset(buffer, 0x5A, sizeof buffer);
    EXPECT_STREQ(plugin.extension(buffer), ".rm") << stored;
    EXPECT_EQ(buffer[4], 0x5A);
  }
}

TEST_F(PluginEntry, EveryThreadAttachReloadsTheSettings) {
  ASSERT_TRUE(load().complete());
  EXPECT_EQ(extension(), ".rm");
  ASSERT_TRUE(hostkey::setString("ZVKRMExt", ".ra"));
  EXPECT_EQ(extension(), ".rm");  // nothing reloads by itself
  ASSERT_TRUE(runAThread());
  EXPECT_EQ(extension(), ".ra");
}

// entry_probe.dll has the plug-in's library entry. Every thread start and
// end in the host runs it under the loader lock: it must not wait for a
// settings edit (a panel save, here one that this thread holds).
TEST_F(PluginEntry, ThreadsStartAndEndAtOnceWhileTheSettingsAreBeingEdited) {
  testdll::Library probe("entry_probe.dll");
  auto begin = probe.get<void(__cdecl*)()>("BeginSettingsEdit");
  auto end = probe.get<void(__cdecl*)()>("EndSettingsEdit");
  ASSERT_TRUE(begin && end);
  begin();
  const bool atOnce = runAThread(2000);
  end();
  EXPECT_TRUE(atOnce);
}

TEST_F(PluginEntry, UnloadingWritesNothing) {
  ASSERT_TRUE(load().complete());
  ASSERT_TRUE(hostkey::remove());
  library_.reset();
  EXPECT_FALSE(hostkey::exists());
}

TEST_F(PluginEntry, EachShowConfigBitPlacesAPanelAndRemoveConfigBitKeepsThem) {
  const pluginapi::Exports& plugin = load();
  ASSERT_TRUE(plugin.complete());
  ASSERT_NE(host(), nullptr);
  EXPECT_TRUE(plugin.show(host()));
  EXPECT_TRUE(plugin.show(host()));
  const std::vector<HWND> panels = hostwindow::panelsOf(host());
  ASSERT_EQ(panels.size(), 2u);
  for (HWND panel : panels) {
    EXPECT_TRUE(IsWindowVisible(panel));
    const POINT place = placeInClientArea(host(), panel);
    EXPECT_EQ(place.x, 20);
    EXPECT_EQ(place.y, 34);
  }
  plugin.remove();
  EXPECT_TRUE(IsWindow(panels[0]));
  EXPECT_TRUE(IsWindow(panels[1]));
  DestroyWindow(host_);
  host_ = nullptr;
  EXPECT_FALSE(IsWindow(panels[0]));
  EXPECT_FALSE(IsWindow(panels[1]));
}

TEST_F(PluginEntry, PanelShowsTheStoredSettingsAndSavesEdits) {
  ASSERT_TRUE(hostkey::setDword("ZVKRMFreq", 22050));
  ASSERT_TRUE(hostkey::setDword("ZVKRMAudioFormat", 2));
  const pluginapi::Exports& plugin = load();
  ASSERT_TRUE(plugin.complete());
  ASSERT_NE(host(), nullptr);
  ASSERT_TRUE(plugin.show(host()));
  HWND panel = hostwindow::panelsOf(host()).at(0);
  char text[32] = "";
  GetDlgItemTextA(panel, 1007, text, sizeof text);
  EXPECT_STREQ(text, "22050");
  GetDlgItemTextA(panel, 1006, text, sizeof text);
  EXPECT_STREQ(text, "Music");

  SendMessageA(GetDlgItem(panel, 1003), BM_CLICK, 0, 0);  // "Surestream"
  EXPECT_EQ(hostkey::get("ZVKRMSurestream").asDword(), 1u);
  EXPECT_EQ(hostkey::get("ZVKRMFreq").asDword(), 22050u);
  EXPECT_EQ(hostkey::get("ZVKRMExt").asString(), ".rm");
}

TEST_F(PluginEntry, DeletingNoObjectIsHarmless) {
  const pluginapi::Exports& plugin = load();
  ASSERT_TRUE(plugin.complete());
  plugin.destroy(nullptr);
}

// Until the encoder exists every creation fails; the host must still get an
// object that it can delete.
TEST_F(PluginEntry, FailedCreationReturnsADeletableObjectWithCode3) {
  const pluginapi::Exports& plugin = load();
  ASSERT_TRUE(plugin.complete());
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = 44100;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 4;
  format.nAvgBytesPerSec = 44100 * 4;
  int32_t errorCode = 12345;
  CompressionObject* object = plugin.create("C:\\out\\Artist - Title.rm", &errorCode, &format);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(errorCode, 3);
  plugin.destroy(object);
}

}  // namespace
