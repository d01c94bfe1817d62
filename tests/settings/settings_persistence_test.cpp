// Loading and saving the settings record against Wine's real registry.
#include "settings/settings_persistence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "settings/encoder_settings.h"
#include "tests/win32_support/host_key.h"
#include "settings/output_extension.h"
#include "settings/settings_catalogue.h"

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

// Random stored values of every type: what a load gives is always a value
// the catalogue offers. A number stored as REG_DWORD that the panel offers
// (an audience only beside a stored first one), any number for an on/off
// switch, and a usable extension stored as text are taken; anything else
// stored reads as the setting's default.
TEST_F(SettingsLoad, StoredValuesOutsideTheCatalogueReadAsTheDefault) {
  std::mt19937 random(17);
  const uint32_t odd[] = {0, 3, 7, 100, 12345, 22050, 65535, 0xFFFFFFFF};
  for (int round = 0; round < 60; ++round) {
    ASSERT_TRUE(hostkey::remove());
    encoderSettings = EncoderSettings{};
    std::vector<int> kinds;  // 0 absent, 1 REG_DWORD, 2 REG_SZ, 3 REG_BINARY
    std::vector<uint32_t> numbers;
    std::vector<std::string> texts;
    for (const SettingDefinition& setting : kSettingCatalogue) {
      const uint32_t number = random() % 2 && setting.choiceCount
                                  ? uint32_t(setting.choices[random() % setting.choiceCount].value)
                                  : odd[random() % 8];
      const std::string text = setting.type == SettingType::Text
                                   ? std::vector<std::string>{".ra", ".x+", ".rm.", "\\x", "rm"}[random() % 5]
                                   : std::to_string(number);
      kinds.push_back(int(random() % 4));
      numbers.push_back(number);
      texts.push_back(text);
      const bool stored = kinds.back() == 0 || (kinds.back() == 1 && hostkey::setDword(setting.valueName, number)) ||
                          (kinds.back() == 2 && hostkey::setString(setting.valueName, text)) ||
                          (kinds.back() == 3 && hostkey::setRaw(setting.valueName, REG_BINARY, &number, 4));
      ASSERT_TRUE(stored);
    }
    load();
    EncoderSettings record = encoderSettings;
    for (size_t i = 0; i < kSettingCount; ++i) {
      const SettingDefinition& setting = kSettingCatalogue[i];
      SCOPED_TRACE(std::string(setting.valueName) + " stored as kind " + std::to_string(kinds[i]) + ": " +
                   texts[i]);
      if (setting.type == SettingType::Text) {
        const bool taken = kinds[i] == 2 && std::string(usableExtension(texts[i].c_str())) == texts[i];
        EXPECT_EQ(record.extension, kinds[i] == 2 && taken ? texts[i] : std::string(".rm"));
        continue;
      }
      const int32_t loaded = setting.field(record);
      EXPECT_GE(choiceIndexOf(setting, loaded), 0) << loaded;
      const bool audience = std::string(setting.valueName).find("Target") != std::string::npos;
      if (audience && kinds[3] == 0) continue;  // the audiences count only beside the first
      // A switch takes any number: nonzero is on.
      const int32_t number = setting.isSwitch ? int32_t(numbers[i] != 0) : int32_t(numbers[i]);
      const bool taken = kinds[i] == 1 && choiceIndexOf(setting, number) >= 0;
      if (kinds[i] != 0) {
        EXPECT_EQ(loaded, taken ? number : setting.defaultNumber);
      }
    }
    // What a save writes back is what was loaded: a switch as 0 or 1.
    saveEncoderSettings(record);
    for (const SettingDefinition& setting : kSettingCatalogue) {
      if (setting.type == SettingType::Number) {
        EXPECT_EQ(int32_t(hostkey::get(setting.valueName).asDword()), setting.field(record)) << setting.valueName;
      }
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
