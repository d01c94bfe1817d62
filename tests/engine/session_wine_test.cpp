// What only the Windows build of the session can show: the folder of the
// module that holds the session goes to the engine library.
#include <gtest/gtest.h>

#include "session_test_support.h"
#include "test_dll.h"

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
