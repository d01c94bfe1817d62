// What only the Windows build of the session can show: the folder of the
// module that holds the session goes to the engine library.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/engine/session_test_support.h"
#include "tests/win32_support/test_dll.h"

namespace {

TEST_F(SessionTest, AccessPathsNameTheProgramsOwnFolder) {
  ASSERT_TRUE(start().ok());
  const std::vector<LoggedCall> calls = log();
  ASSERT_FALSE(calls.empty());
  const std::string folder = jsonQuoted(testdll::programFolder() + "real audio\\");
  const std::string value = folder.substr(1, folder.size() - 2);
  EXPECT_EQ(calls[0].call(), "Library.1([\"DT_Plugins=" + value + "\", \"DT_Codecs=" + value +
                                 "\", \"DT_EncSDK=" + value + "\", \"DT_Common=" + value + "\"])");
}

}  // namespace

namespace {

// settings.moduleHandle names the library whose folder is used: here a copy
// of a DLL loaded from a folder of its own.
TEST_F(SessionTest, AccessPathsNameTheFolderOfTheModuleInTheSettings) {
  const std::string codecs = folder + "Codecs\\";
  ASSERT_TRUE(CreateDirectoryA(codecs.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  const std::string copy = codecs + "x.dll";
  ASSERT_TRUE(CopyFileA((testdll::programFolder() + "rmbe3260.dll").c_str(), copy.c_str(), FALSE));
  HMODULE module = LoadLibraryA(copy.c_str());
  ASSERT_NE(module, nullptr);
  settings.moduleHandle = module;
  ASSERT_TRUE(start().ok());
  const std::string value = jsonQuoted(codecs + "real audio\\");
  const std::string entry = value.substr(1, value.size() - 2);
  const std::vector<LoggedCall> calls = log();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0].call(), "Library.1([\"DT_Plugins=" + entry + "\", \"DT_Codecs=" + entry +
                                 "\", \"DT_EncSDK=" + entry + "\", \"DT_Common=" + entry + "\"])");
  disposeBuildSession(session);
  FreeLibrary(module);
}

}  // namespace
