// The component-folder list handed to the engine library.
#include "engine/access_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string entries(const std::string& folder) {
  using namespace std::string_literals;
  return "DT_Plugins="s + folder + '\0' + "DT_Codecs=" + folder + '\0' + "DT_EncSDK=" + folder + '\0' +
         "DT_Common=" + folder + '\0' + '\0';
}

TEST(AccessPathList, FourEntriesForTheLibrarysFolderThenAnEmptyOne) {
  EXPECT_EQ(buildAccessPathList("C:\\Apps\\Host\\Codecs\\x.dll"), entries("C:\\Apps\\Host\\Codecs\\real audio\\"));
}

TEST(AccessPathList, PathWithoutBackslashIsUsedWhole) {
  EXPECT_EQ(pluginFolder("x.dll"), "x.dll");
  EXPECT_EQ(buildAccessPathList("x.dll"), entries("x.dllreal audio\\"));
}

TEST(AccessPathList, FolderInTheDriveRootKeepsItsBackslash) {
  EXPECT_EQ(pluginFolder("C:\\x.dll"), "C:\\");
}

TEST(AccessPathList, LongFolderIsNeitherCutNorOverflowed) {
  // 255 characters of folder leave no room for "real audio\" in 259.
  const std::string folder = "C:\\" + std::string(251, 'f') + "\\";
  ASSERT_EQ(folder.size(), 255u);
  const std::string list = buildAccessPathList(folder + "plugin.dll");
  EXPECT_EQ(list, entries(folder + "real audio\\"));
  EXPECT_GT(list.size(), 1000u);
}

TEST(AccessPathList, ModulePathOfThisProgramIsReadable) {
  const std::string path = moduleFilePath(nullptr);
  EXPECT_FALSE(path.empty());
  EXPECT_NE(path.find("engine"), std::string::npos) << path;
}

}  // namespace
