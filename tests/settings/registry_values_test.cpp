// The registry helpers against Wine's real registry, under the host's key.
#include "registry_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host_key.h"

namespace {

const HKEY kRoot = HKEY_CURRENT_USER;
const char* const kPath = hostkey::kPath;

class RegistryValues : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(hostkey::remove()); }
};

TEST_F(RegistryValues, DwordReadOfMissingKeyCreatesItAndGivesZero) {
  EXPECT_EQ(readRegistryDword("ZVKRMFreq", kRoot, kPath), 0u);
  EXPECT_TRUE(hostkey::exists());
  EXPECT_TRUE(hostkey::valueNames().empty());
}

TEST_F(RegistryValues, DwordRoundTripsAsFourByteDword) {
  writeRegistryDword(0xDEADBEEF, "ZVKRMFreq", kRoot, kPath);
  const hostkey::StoredValue stored = hostkey::get("ZVKRMFreq");
  EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(stored.bytes.size(), 4u);
  EXPECT_EQ(readRegistryDword("ZVKRMFreq", kRoot, kPath), 0xDEADBEEFu);
}

TEST_F(RegistryValues, DwordReadTakesRawBytesOfOtherTypesUpToFour) {
  const unsigned char two[] = {0x34, 0x12};
  const unsigned char eight[] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(hostkey::setRaw("Short", REG_BINARY, two, sizeof two));
  ASSERT_TRUE(hostkey::setRaw("Long", REG_BINARY, eight, sizeof eight));
  ASSERT_TRUE(hostkey::setString("Text", "abc"));  // 'a' 'b' 'c' NUL
  EXPECT_EQ(readRegistryDword("Short", kRoot, kPath), 0x1234u);
  EXPECT_EQ(readRegistryDword("Long", kRoot, kPath), 0u);
  EXPECT_EQ(readRegistryDword("Text", kRoot, kPath), 0x00636261u);
}

TEST_F(RegistryValues, StringIsWrittenAsRegSzWithItsNul) {
  writeRegistryString(".rm", "ZVKRMExt", kRoot, kPath);
  const hostkey::StoredValue stored = hostkey::get("ZVKRMExt");
  EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(stored.bytes, (std::vector<unsigned char>{'.', 'r', 'm', '\0'}));
}

TEST_F(RegistryValues, StringReadEmptiesBufferWhenValueIsAbsent) {
  char buffer[16] = "previous";
  readRegistryString(buffer, sizeof buffer, "ZVKRMExt", kRoot, kPath);
  EXPECT_STREQ(buffer, "");
  EXPECT_TRUE(hostkey::exists());
}

TEST_F(RegistryValues, StringReadTerminatesAValueStoredWithoutNul) {
  ASSERT_TRUE(hostkey::setRaw("ZVKRMExt", REG_SZ, "abc", 3));
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  readRegistryString(buffer, sizeof buffer, "ZVKRMExt", kRoot, kPath);
  EXPECT_STREQ(buffer, "abc");
}

TEST_F(RegistryValues, StringReadAcceptsExactlyWhatFitsWithItsNul) {
  ASSERT_TRUE(hostkey::setString("Fits", "abc"));      // 4 bytes
  ASSERT_TRUE(hostkey::setString("TooLong", "abcd"));  // 5 bytes
  ASSERT_TRUE(hostkey::setRaw("Unterminated", REG_SZ, "abcd", 4));
  char buffer[4];
  readRegistryString(buffer, sizeof buffer, "Fits", kRoot, kPath);
  EXPECT_STREQ(buffer, "abc");
  readRegistryString(buffer, sizeof buffer, "TooLong", kRoot, kPath);
  EXPECT_STREQ(buffer, "");
  // Four characters and no room for a NUL: as good as too long.
  std::memset(buffer, 'x', sizeof buffer);
  readRegistryString(buffer, sizeof buffer, "Unterminated", kRoot, kPath);
  EXPECT_STREQ(buffer, "");
}

TEST_F(RegistryValues, ExistenceCheckNeverCreatesTheKey) {
  EXPECT_FALSE(registryValueExists("ZVKRMExt", kRoot, kPath));
  EXPECT_FALSE(hostkey::exists());
  ASSERT_TRUE(hostkey::setString("ZVKRMExt", ""));
  EXPECT_TRUE(registryValueExists("ZVKRMExt", kRoot, kPath));
  EXPECT_FALSE(registryValueExists("ZVKRMFreq", kRoot, kPath));
}

}  // namespace
