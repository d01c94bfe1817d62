// Any text, as a stored extension, against an independent statement of the
// rule: it is handed out unchanged exactly when it is usable, otherwise as
// ".rm", and what is handed out never names another folder or drive.
#include "output_extension.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

namespace {

// Mostly ordinary characters, with every kind of troublemaker mixed in.
std::string randomText(std::mt19937& random) {
  static const std::string kAlphabet =
      std::string("..rmRM09 _-~") + "\\/:*?<>\"|" + "\x01\x1f\x7f\x80\xe9\xff";
  std::uniform_int_distribution<size_t> length(0, 20), pick(0, kAlphabet.size() - 1);
  std::string text = random() % 2 ? "." : "";
  for (size_t n = length(random); n > 0; --n) text += kAlphabet[pick(random)];
  return text;
}

TEST(OutputExtension, IsHandedOutOnlyWhenUsableAndNeverLeavesTheFolder) {
  const std::regex usable("\\.[^\\x01-\\x1f\\\\/:*?<>\"|]{1,15}");
  std::mt19937 random(20261207);
  int usableSeen = 0;
  for (int i = 0; i < 100000; ++i) {
    const std::string stored = randomText(random);
    const std::string handedOut = usableExtension(stored.c_str());
    const bool isUsable = std::regex_match(stored, usable);
    usableSeen += isUsable;
    ASSERT_EQ(handedOut, isUsable ? stored : ".rm") << '"' << stored << '"';
    ASSERT_EQ(handedOut.find_first_of("\\/:"), std::string::npos) << stored;
  }
  EXPECT_GT(usableSeen, 1000);  // both kinds were drawn often
  EXPECT_STREQ(usableExtension(nullptr), ".rm");
}

}  // namespace
