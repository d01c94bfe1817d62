// Parsing of the stand-in engine's environment settings.
#include "standin-engine/standin_config.h"

#include <gtest/gtest.h>

TEST(FaultRules, ParsesEveryCallAndNthCallRulesWithHexResults) {
  std::vector<FaultRule> rules;
  ASSERT_TRUE(parseFaultRules("BuildEngine.17=80004005, InputPin.6@3=0x8000FFFF,PinEnumerator.3=40012", rules));
  ASSERT_EQ(rules.size(), 3u);
  EXPECT_EQ(rules[0].iface, "BuildEngine");
  EXPECT_EQ(rules[0].slot, 17);
  EXPECT_EQ(rules[0].nthCall, 0u);
  EXPECT_EQ(rules[0].result, static_cast<int32_t>(0x80004005u));
  EXPECT_EQ(rules[1].iface, "InputPin");
  EXPECT_EQ(rules[1].nthCall, 3u);
  EXPECT_EQ(rules[1].result, static_cast<int32_t>(0x8000FFFFu));
  EXPECT_EQ(rules[2].result, 262162);
}

TEST(FaultRules, RefusesMalformedRulesAndKeepsThePreviousOnes) {
  std::vector<FaultRule> rules;
  ASSERT_TRUE(parseFaultRules("Library.0=1", rules));
  for (const char* bad : {"BuildEngine17=1", "BuildEngine.x=1", "BuildEngine.17", "BuildEngine.17@0=1",
                          "BuildEngine.17=zz", ".3=1", "BuildEngine.17=1FFFFFFFF"}) {
    EXPECT_FALSE(parseFaultRules(bad, rules)) << bad;
    ASSERT_EQ(rules.size(), 1u) << bad;
    EXPECT_EQ(rules[0].iface, "Library");
  }
}

TEST(PinList, NoneMeansNoPinsAndOtherwiseKeepsOrderAndCase) {
  EXPECT_TRUE(parsePinList("none").empty());
  std::vector<std::string> pins = parsePinList("video/x-pn-realvideo, Audio/X-PN-RealAudio,audio/x-pn-realaudio");
  ASSERT_EQ(pins.size(), 3u);
  EXPECT_EQ(pins[0], "video/x-pn-realvideo");
  EXPECT_EQ(pins[1], "Audio/X-PN-RealAudio");
  EXPECT_EQ(pins[2], "audio/x-pn-realaudio");
}

TEST(Codec, DnetOrPcmInAnyCaseAndNothingElse) {
  StandinCodec codec = StandinCodec::Pcm;
  ASSERT_TRUE(parseCodec("DNet", codec));
  EXPECT_EQ(codec, StandinCodec::Dnet);
  ASSERT_TRUE(parseCodec("pcm", codec));
  EXPECT_EQ(codec, StandinCodec::Pcm);
  for (const char* bad : {"", "ac3", "pcm ", "dnetx"}) EXPECT_FALSE(parseCodec(bad, codec)) << bad;
  EXPECT_EQ(codec, StandinCodec::Pcm);
}
