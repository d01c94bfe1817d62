// Loading and saving the settings record against Wine's real registry.
#include "settings/settings_persistence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "settings/encoder_settings.h"
#include "tests/win32_support/host_key.h"

namespace {

using Audiences = std::array<int32_t, 9>;

Audiences audiences() {
  Audiences flags;
  std::copy(std::begin(encoderSettings.targetAudiences), std::end(encoderSettings.targetAudiences),
            flags.begin());
  return flags;
}

const Audiences kOnlyFirst = {1, 0, 0, 0, 0, 0, 0, 0, 0};
const Audiences kNone = {0, 0, 0, 0, 0, 0, 0, 0, 0};

HINSTANCE fakeModule() { return reinterpret_cast<HINSTANCE>(0x10000000); }

// Each case starts as a freshly loaded library on a machine without the key.
class SettingsLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(hostkey::remove());
    encoderSettings = EncoderSettings{};
  }
  // What an attach notification and the next entry point do.
  static void load() {
    noteEncoderSettingsReloadDue(fakeModule());
    reloadEncoderSettingsIfDue();
  }
};

TEST_F(SettingsLoad, EmptyRegistryGivesDefaultsAndLeavesAnEmptyKey) {
  load();
  EXPECT_EQ(encoderSettings.sampleRate, 44100);
  EXPECT_EQ(encoderSettings.audioFormat, 0);
  EXPECT_EQ(encoderSettings.sureStream, 0);
  EXPECT_EQ(encoderSettings.titleArtistOrder, 0);
  EXPECT_EQ(audiences(), kOnlyFirst);
  EXPECT_STREQ(encoderSettings.extension, ".rm");
  EXPECT_EQ(encoderSettings.moduleHandle, fakeModule());
  EXPECT_TRUE(hostkey::exists());
  EXPECT_TRUE(hostkey::valueNames().empty());
}

TEST_F(SettingsLoad, StoredValuesReplaceTheFields) {
  ASSERT_TRUE(hostkey::setDword("ZVKRMFreq", 22050));
  ASSERT_TRUE(hostkey::setDword("ZVKRMAudioFormat", 3));
  ASSERT_TRUE(hostkey::setDword("ZVKRMSurestream", 1));
  ASSERT_TRUE(hostkey::setDword("ZVKRMTitleArtist", 1));
  ASSERT_TRUE(hostkey::setString("ZVKRMExt", ".ra"));
  load();
  EXPECT_EQ(encoderSettings.sampleRate, 22050);
  EXPECT_EQ(encoderSettings.audioFormat, 3);
  EXPECT_EQ(encoderSettings.sureStream, 1);
  EXPECT_EQ(encoderSettings.titleArtistOrder, 1);
  EXPECT_STREQ(encoderSettings.extension, ".ra");
}

TEST_F(SettingsLoad, AudienceValuesAreIgnoredWithoutTheFirstOne) {
  ASSERT_TRUE(hostkey::setDword("ZVKRMTarget3", 1));
  load();
  EXPECT_EQ(audiences(), kOnlyFirst);
}

TEST_F(SettingsLoad, FirstAudienceStoredAsZeroAloneSelectsNoAudience) {
  ASSERT_TRUE(hostkey::setDword("ZVKRMTarget0", 0));
  load();
  EXPECT_EQ(audiences(), kNone);
}

TEST_F(SettingsLoad, WithTheFirstAudienceStoredAllEightAreRead) {
  ASSERT_TRUE(hostkey::setDword("ZVKRMTarget0", 0));
  ASSERT_TRUE(hostkey::setDword("ZVKRMTarget2", 1));
  ASSERT_TRUE(hostkey::setDword("ZVKRMTarget7", 1));
  load();
  EXPECT_EQ(audiences(), (Audiences{0, 0, 1, 0, 0, 0, 0, 1, 0}));
}

TEST_F(SettingsLoad, NinthAudienceIsAlwaysCleared) {
  ASSERT_TRUE(hostkey::setDword("ZVKRMTarget0", 1));
  encoderSettings.targetAudiences[8] = 1;
  load();
  EXPECT_EQ(encoderSettings.targetAudiences[8], 0);
}

TEST_F(SettingsLoad, ThreadAttachReloadsAndResetsTheAudiences) {
  load();
  encoderSettings.targetAudiences[0] = 0;
  encoderSettings.targetAudiences[4] = 1;
  ASSERT_TRUE(hostkey::setDword("ZVKRMAudioFormat", 2));
  load();
  EXPECT_EQ(audiences(), kOnlyFirst);
  EXPECT_EQ(encoderSettings.audioFormat, 2);
}

TEST_F(SettingsLoad, WithoutANotedReloadNothingIsReadOrTouched) {
  encoderSettings.sampleRate = 32000;
  reloadEncoderSettingsIfDue();
  EXPECT_EQ(encoderSettings.sampleRate, 32000);
  EXPECT_EQ(encoderSettings.moduleHandle, nullptr);
  EXPECT_EQ(audiences(), kNone);
  EXPECT_FALSE(hostkey::exists());
}

TEST_F(SettingsLoad, AbsentExtensionKeepsTheCurrentOne) {
  std::strcpy(encoderSettings.extension, ".wav");
  load();
  EXPECT_STREQ(encoderSettings.extension, ".wav");
}

TEST_F(SettingsLoad, ExtensionOfFifteenCharactersIsReadWhole) {
  ASSERT_TRUE(hostkey::setString("ZVKRMExt", ".fifteen-chars.x"));
  load();
  EXPECT_STREQ(encoderSettings.extension, ".fifteen-chars.x");
}

// Extensions that would lead a host's output elsewhere, or that do not fit
// the field, load as the default, and the next save stores it.
TEST_F(SettingsLoad, UnusableExtensionsLoadAsTheDefaultAndAreSavedAsIt) {
  for (const std::string& stored : std::vector<std::string>{"\\..\\..\\x.txt", ".c:x", "rm", ".sixteen-chars.xy",
                                                            std::string(300, 'e')}) {
    std::strcpy(encoderSettings.extension, ".ra");
    ASSERT_TRUE(hostkey::setString("ZVKRMExt", stored));
    load();
    EXPECT_STREQ(encoderSettings.extension, ".rm") << stored;
  }
  saveEncoderSettings(encoderSettings);
  EXPECT_EQ(hostkey::get("ZVKRMExt").bytes, (std::vector<unsigned char>{'.', 'r', 'm', '\0'}));
}

// What each number setting is, written out here rather than taken from the
// catalogue, so that a wrong catalogue entry fails: its default, the values
// the panel offers, whether any nonzero number reads as on (1), and its field.
struct NumberSetting {
  std::string name;
  int32_t defaultValue;
  std::vector<int32_t> allowed;
  bool isSwitch;
  bool isAudience;
  std::function<int32_t(const EncoderSettings&)> loaded;
};

std::vector<NumberSetting> numberSettings() {
  std::vector<NumberSetting> settings = {
      {"ZVKRMFreq", 44100, {8000, 11025, 16000, 22050, 32000, 44100, 48000}, false, false,
       [](const EncoderSettings& s) { return s.sampleRate; }},
      {"ZVKRMAudioFormat", 0, {0, 1, 2, 3}, false, false, [](const EncoderSettings& s) { return s.audioFormat; }},
      {"ZVKRMSurestream", 0, {0, 1}, true, false, [](const EncoderSettings& s) { return s.sureStream; }},
      {"ZVKRMTitleArtist", 0, {0, 1}, true, false, [](const EncoderSettings& s) { return s.titleArtistOrder; }},
  };
  // Audience 0 alone is on by default.
  for (int i = 0; i < 8; ++i) {
    settings.push_back({"ZVKRMTarget" + std::to_string(i), i == 0 ? 1 : 0, {0, 1}, true, true,
                        [i](const EncoderSettings& s) { return s.targetAudiences[i]; }});
  }
  return settings;
}

enum StoredKind { kAbsent, kDword, kText, kBinary };

bool store(const std::string& name, StoredKind kind, uint32_t number, const std::string& text) {
  switch (kind) {
    case kAbsent: return true;
    case kDword: return hostkey::setDword(name.c_str(), number);
    case kText: return hostkey::setString(name.c_str(), text);
    case kBinary: return hostkey::setRaw(name.c_str(), REG_BINARY, &number, 4);
  }
  return false;
}

// What a load of a fresh record gives for one stored number: an absent value
// reads as 0 (the rate keeps its 44100); the audiences count only beside a
// stored first one, and otherwise read as their defaults; a REG_DWORD the
// setting takes is taken (a switch's as 0 or 1), and anything else stored
// reads as the default.
int32_t expectedLoad(const NumberSetting& setting, StoredKind kind, uint32_t number, bool audiencesStored) {
  if (setting.isAudience && !audiencesStored) return setting.defaultValue;
  if (kind == kAbsent) return setting.name == "ZVKRMFreq" ? 44100 : 0;
  if (kind != kDword) return setting.defaultValue;
  const int32_t value = setting.isSwitch ? int32_t(number != 0) : int32_t(number);
  const bool offered = std::count(setting.allowed.begin(), setting.allowed.end(), value) != 0;
  return offered ? value : setting.defaultValue;
}

// Random stored values of every type, each checked against what the load
// must give, and saved back as loaded.
TEST_F(SettingsLoad, StoredValuesOutsideTheCatalogueReadAsTheDefault) {
  std::mt19937 random(17);
  const uint32_t odd[] = {0, 3, 7, 100, 12345, 22050, 65535, 96000, 0xFFFFFFFF};
  // REG_DWORD, the one type a number is taken from, twice as often.
  const StoredKind kinds[] = {kAbsent, kDword, kDword, kText, kBinary};
  // Extensions stored as text, and whether the plug-in takes them.
  const std::vector<std::pair<std::string, bool>> extensions = {
      {".ra", true}, {".x+", true}, {".rm.", false}, {"\\x", false}, {"rm", false}};
  const std::vector<NumberSetting> settings = numberSettings();
  for (int round = 0; round < 150; ++round) {
    ASSERT_TRUE(hostkey::remove());
    encoderSettings = EncoderSettings{};
    std::vector<StoredKind> stored;
    std::vector<uint32_t> numbers;
    for (const NumberSetting& setting : settings) {
      stored.push_back(kinds[random() % 5]);
      numbers.push_back(random() % 2 ? uint32_t(setting.allowed[random() % setting.allowed.size()])
                                     : odd[random() % 9]);
      ASSERT_TRUE(store(setting.name, stored.back(), numbers.back(), std::to_string(numbers.back())));
    }
    const StoredKind extensionKind = kinds[random() % 5];
    const auto& extension = extensions[random() % extensions.size()];
    ASSERT_TRUE(store("ZVKRMExt", extensionKind, odd[random() % 9], extension.first));
    load();
    const EncoderSettings record = encoderSettings;
    const bool audiencesStored = stored[4] != kAbsent;  // ZVKRMTarget0
    for (size_t i = 0; i < settings.size(); ++i) {
      SCOPED_TRACE(settings[i].name + " stored as kind " + std::to_string(stored[i]) + ": " +
                   std::to_string(numbers[i]));
      EXPECT_EQ(settings[i].loaded(record), expectedLoad(settings[i], stored[i], numbers[i], audiencesStored));
    }
    const bool taken = extensionKind == kText && extension.second;
    EXPECT_EQ(std::string(record.extension), taken ? extension.first : ".rm") << extension.first;
    // What a save writes back is what was loaded: a switch as 0 or 1.
    saveEncoderSettings(record);
    for (const NumberSetting& setting : settings) {
      EXPECT_EQ(int32_t(hostkey::get(setting.name.c_str()).asDword()), setting.loaded(record)) << setting.name;
    }
  }
}

class SettingsSave : public SettingsLoad {};

const std::vector<std::string> kAllValueNames = {
    "ZVKRMAudioFormat", "ZVKRMExt",     "ZVKRMFreq",    "ZVKRMSurestream", "ZVKRMTarget0",
    "ZVKRMTarget1",     "ZVKRMTarget2", "ZVKRMTarget3", "ZVKRMTarget4",    "ZVKRMTarget5",
    "ZVKRMTarget6",     "ZVKRMTarget7", "ZVKRMTitleArtist"};

std::vector<std::string> sortedValueNames() {
  std::vector<std::string> names = hostkey::valueNames();
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(SettingsSave, FirstSaveAfterEmptyLoadWritesEveryValue) {
  load();
  saveEncoderSettings(encoderSettings);
  EXPECT_EQ(sortedValueNames(), kAllValueNames);
  EXPECT_EQ(hostkey::get("ZVKRMFreq").asDword(), 44100u);
  EXPECT_EQ(hostkey::get("ZVKRMTarget0").asDword(), 1u);
  for (const std::string& name : kAllValueNames) {
    if (name == "ZVKRMExt") continue;
    const hostkey::StoredValue value = hostkey::get(name.c_str());
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD)) << name;
    EXPECT_EQ(value.bytes.size(), 4u) << name;
    if (name != "ZVKRMFreq" && name != "ZVKRMTarget0") {
      EXPECT_EQ(value.asDword(), 0u) << name;
    }
  }
  const hostkey::StoredValue extension = hostkey::get("ZVKRMExt");
  EXPECT_EQ(extension.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(extension.bytes, (std::vector<unsigned char>{'.', 'r', 'm', '\0'}));
}

TEST_F(SettingsSave, SavedRecordLoadsBackUnchanged) {
  load();
  encoderSettings.sampleRate = 48000;
  encoderSettings.audioFormat = 2;
  encoderSettings.sureStream = 1;
  encoderSettings.titleArtistOrder = 1;
  const int32_t flags[9] = {0, 1, 0, 1, 0, 0, 1, 1, 1};
  std::copy(std::begin(flags), std::end(flags), encoderSettings.targetAudiences);
  std::strcpy(encoderSettings.extension, ".rma");
  saveEncoderSettings(encoderSettings);

  encoderSettings = EncoderSettings{};
  load();
  EXPECT_EQ(encoderSettings.sampleRate, 48000);
  EXPECT_EQ(encoderSettings.audioFormat, 2);
  EXPECT_EQ(encoderSettings.sureStream, 1);
  EXPECT_EQ(encoderSettings.titleArtistOrder, 1);
  EXPECT_EQ(audiences(), (Audiences{0, 1, 0, 1, 0, 0, 1, 1, 0}));  // index 8 is not stored
  EXPECT_STREQ(encoderSettings.extension, ".rma");
}

}  // namespace
