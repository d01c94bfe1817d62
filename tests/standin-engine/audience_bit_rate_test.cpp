// The stand-in's bit rate: the highest audience's budget, as the largest
// AC-3 rate within it at the clip's sample rate (halved and quartered at
// the reduced rates), or the lowest there is.
#include "standin-engine/audience_bit_rate.h"

#include <gtest/gtest.h>

using standin::codedBitRate;

TEST(AudienceBitRate, HighestAudienceSetsTheBudgetWithinTheRatesTable) {
  EXPECT_EQ(codedBitRate({}, 44100), 32000u);         // audience 0's 20 kbps is below the table
  EXPECT_EQ(codedBitRate({0}, 48000), 32000u);
  EXPECT_EQ(codedBitRate({2}, 48000), 40000u);        // ISDN, 45 kbps
  EXPECT_EQ(codedBitRate({0, 5}, 44100), 224000u);    // 256k DSL, 225 kbps
  EXPECT_EQ(codedBitRate({7, 1}, 32000), 448000u);    // 512k DSL, 450 kbps
  EXPECT_EQ(codedBitRate({4}, 22050), 128000u);       // LAN, 150 kbps; half rates: 16 to 320
  EXPECT_EQ(codedBitRate({0}, 24000), 20000u);
  EXPECT_EQ(codedBitRate({7}, 16000), 320000u);
  EXPECT_EQ(codedBitRate({0}, 8000), 20000u);         // quarter rates: 8 to 160
  EXPECT_EQ(codedBitRate({3}, 11025), 80000u);
  EXPECT_EQ(codedBitRate({6}, 12000), 160000u);
  EXPECT_EQ(codedBitRate({0}, 96000), 0u);            // no AC-3 rate
}
