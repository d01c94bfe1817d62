// The registry helpers against Wine's real registry, under the host's key.
#include "settings/registry_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/win32_support/host_key.h"

namespace {

const HKEY kRoot = HKEY_CURRENT_USER;
const char* const kPath = hostkey::kPath;

class RegistryValues : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(hostkey::remove()); }
};

StoredValue read(const char* name, char* buffer, uint32_t size) {
  return readRegistryValue(name, kRoot, kPath, buffer, size);
}

TEST_F(RegistryValues, ReadOfMissingKeyCreatesItAndGivesAbsent) {
  char buffer[8];
  EXPECT_EQ(read("ZVKRMFreq", buffer, sizeof buffer).kind, StoredValue::Kind::Absent);
  EXPECT_TRUE(hostkey::exists());
  EXPECT_TRUE(hostkey::valueNames().empty());
}

TEST_F(RegistryValues, DwordRoundTripsAsFourByteDword) {
  writeRegistryDword(0xDEADBEEF, "ZVKRMFreq", kRoot, kPath);
  const hostkey::StoredValue stored = hostkey::get("ZVKRMFreq");
  EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(stored.bytes.size(), 4u);
  char buffer[8];
  const StoredValue value = read("ZVKRMFreq", buffer, sizeof buffer);
  EXPECT_EQ(value.kind, StoredValue::Kind::Number);
  EXPECT_EQ(value.number, 0xDEADBEEFu);
}

// Only a four-byte REG_DWORD is a number and only REG_SZ is text: raw bytes
// of other types are never taken for either.
TEST_F(RegistryValues, OtherTypesAreReadAsSuch) {
  const unsigned char two[] = {0x34, 0x12};
  ASSERT_TRUE(hostkey::setRaw("Short", REG_BINARY, two, sizeof two));
  ASSERT_TRUE(hostkey::setRaw("ShortDword", REG_DWORD, two, sizeof two));
  ASSERT_TRUE(hostkey::setString("Text", "3"));
  char buffer[8];
  for (const char* name : {"Short", "ShortDword"}) {
    const StoredValue value = read(name, buffer, sizeof buffer);
    EXPECT_EQ(value.kind, StoredValue::Kind::OtherType) << name;
    EXPECT_EQ(value.registryType, hostkey::get(name).type) << name;
  }
  const StoredValue text = read("Text", buffer, sizeof buffer);
  EXPECT_EQ(text.kind, StoredValue::Kind::Text);
  EXPECT_STREQ(text.text, "3");
}

TEST_F(RegistryValues, StringIsWrittenAsRegSzWithItsNul) {
  writeRegistryString(".rm", "ZVKRMExt", kRoot, kPath);
  const hostkey::StoredValue stored = hostkey::get("ZVKRMExt");
  EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(stored.bytes, (std::vector<unsigned char>{'.', 'r', 'm', '\0'}));
}

TEST_F(RegistryValues, TextReadTerminatesAValueStoredWithoutNul) {
  ASSERT_TRUE(hostkey::setRaw("ZVKRMExt", REG_SZ, "abc", 3));
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_STREQ(read("ZVKRMExt", buffer, sizeof buffer).text, "abc");
}

TEST_F(RegistryValues, TextReadAcceptsExactlyWhatFitsWithItsNul) {
  ASSERT_TRUE(hostkey::setString("Fits", "abc"));      // 4 bytes
  ASSERT_TRUE(hostkey::setString("TooLong", "abcd"));  // 5 bytes
  ASSERT_TRUE(hostkey::setRaw("Unterminated", REG_SZ, "abcd", 4));
  char buffer[4];
  EXPECT_STREQ(read("Fits", buffer, sizeof buffer).text, "abc");
  EXPECT_STREQ(read("TooLong", buffer, sizeof buffer).text, "");
  // Four characters and no room for a NUL: as good as too long.
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_STREQ(read("Unterminated", buffer, sizeof buffer).text, "");
}

// Another thread rewrites the value with other types the whole time: every
// read sees one stored state whole, never one type with another's data.
DWORD WINAPI rewriteWithOtherTypes(void* stop) {
  const uint32_t number = 22050;
  for (unsigned round = 0; *static_cast<volatile LONG*>(stop) == 0; ++round) {
    switch (round % 3) {
      case 0: hostkey::setString("ZVKRMExt", ".rx"); break;
      case 1: hostkey::setRaw("ZVKRMExt", REG_EXPAND_SZ, ".r%PATH%", 9); break;
      default: hostkey::setRaw("ZVKRMExt", REG_DWORD, &number, sizeof number); break;
    }
  }
  return 0;
}

// A read that finds no value at all (Wine's registry can miss one for an
// instant while it is replaced) mixes nothing: a load then keeps the field.
TEST_F(RegistryValues, ReadsTypeAndDataTogetherWhileTheValueIsRewritten) {
  volatile LONG stop = 0;
  HANDLE writer = CreateThread(nullptr, 0, rewriteWithOtherTypes, const_cast<LONG*>(&stop), 0, nullptr);
  ASSERT_NE(writer, nullptr);
  unsigned mixed = 0, texts = 0, others = 0;
  for (int i = 0; i < 40000; ++i) {
    char buffer[16];
    const StoredValue value = read("ZVKRMExt", buffer, sizeof buffer);
    if (value.kind == StoredValue::Kind::Text) {
      ++texts;
      mixed += std::strcmp(value.text, ".rx") != 0;
    } else if (value.kind == StoredValue::Kind::Number) {
      mixed += value.number != 22050;
    } else if (value.kind == StoredValue::Kind::OtherType) {
      ++others;
      mixed += value.registryType != REG_EXPAND_SZ;
    }
  }
  InterlockedExchange(const_cast<LONG*>(&stop), 1);
  WaitForSingleObject(writer, INFINITE);
  CloseHandle(writer);
  EXPECT_EQ(mixed, 0u) << texts << " texts, " << others << " of another type";
  EXPECT_GT(texts, 0u);
  EXPECT_GT(others, 0u);
}

}  // namespace
