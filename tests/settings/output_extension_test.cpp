// Random stored extensions against a plain statement of the rule:
// handed out unchanged exactly when usable, otherwise as ".rm", and never
// naming another folder or drive.
#include "settings/output_extension.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

TEST(OutputExtension, IsHandedOutOnlyWhenUsableAndNeverLeavesTheFolder) {
  // Mostly characters a file name may hold, with every kind of troublemaker
  // mixed in one time in eight.
  const std::string ordinary = "..rmRM09 _-~\x7f\x80\xe9\xff", troublemakers = "\\/:*?<>\"|\x01\x1f";
  std::string forbidden = "\\/:*?<>\"|";
  for (char control = 1; control < 0x20; ++control) forbidden += control;
  std::mt19937 random(20261207);
  int usableSeen = 0;
  for (int i = 0; i < 100000; ++i) {
    std::string stored = random() % 2 ? "." : "";
    for (size_t n = random() % 21; n > 0; --n) {
      const std::string& from = random() % 8 ? ordinary : troublemakers;
      stored += from[random() % from.size()];
    }
    const std::string handedOut = usableExtension(stored.c_str());
    const bool isUsable = stored.size() >= 2 && stored.size() <= 16 && stored[0] == '.' &&
                          stored.find_first_of(forbidden) == std::string::npos && stored.back() != '.' &&
                          stored.back() != ' ';
    usableSeen += isUsable;
    ASSERT_EQ(handedOut, isUsable ? stored : ".rm") << '"' << stored << '"';
    ASSERT_EQ(handedOut.find_first_of("\\/:"), std::string::npos) << stored;
  }
  EXPECT_GT(usableSeen, 1000);  // both kinds were drawn often
  EXPECT_STREQ(usableExtension(nullptr), ".rm");
}
