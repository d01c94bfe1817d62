#include "settings/settings_catalogue.h"

#include <cstring>

#include "settings/encoder_settings.h"
#include "settings/output_extension.h"

namespace {

const SettingChoice kRates[] = {{8000, "8000"},   {11025, "11025"}, {16000, "16000"}, {22050, "22050"},
                                {32000, "32000"}, {44100, "44100"}, {48000, "48000"}};
const SettingChoice kAudioFormats[] = {{0, "Voice"}, {1, "Voice & Music"}, {2, "Music"}, {3, "Stereo Music"}};
const SettingChoice kOnOff[] = {{0, "off"}, {1, "on"}};
const SettingChoice kCodings[] = {{0, "single rate"}, {1, "SureStream"}};
const SettingChoice kNameOrders[] = {{0, "artist - title"}, {1, "title - artist"}};

constexpr size_t kRateEntry = 0, kAudioFormatEntry = 1, kFirstAudienceEntry = 3, kExtensionEntry = 12;

template <size_t N>
constexpr SettingDefinition number(const char* name, int32_t defaultValue, const SettingChoice (&choices)[N],
                                   int32_t& (*field)(EncoderSettings&)) {
  return {name, SettingType::Number, defaultValue, choices, N, field};
}

template <size_t N>
constexpr SettingDefinition onOff(const char* name, int32_t defaultValue, const SettingChoice (&choices)[N],
                                  int32_t& (*field)(EncoderSettings&)) {
  SettingDefinition definition = number(name, defaultValue, choices, field);
  definition.isSwitch = true;
  return definition;
}

template <int I>
int32_t& audience(EncoderSettings& s) { return s.targetAudiences[I]; }

// Audience I's stored switch: on by default for the default audience alone.
template <int I>
constexpr SettingDefinition audienceSwitch(const char* name) {
  return onOff(name, I == kDefaultAudience ? 1 : 0, kOnOff, audience<I>);
}

bool isAudience(size_t entry) { return entry >= kFirstAudienceEntry && entry < kFirstAudienceEntry + 8; }

}  // namespace

const SettingDefinition kSettingCatalogue[kSettingCount] = {
    number("ZVKRMFreq", kDefaultSampleRate, kRates, [](EncoderSettings& s) -> int32_t& { return s.sampleRate; }),
    number("ZVKRMAudioFormat", kDefaultAudioFormat, kAudioFormats,
           [](EncoderSettings& s) -> int32_t& { return s.audioFormat; }),
    onOff("ZVKRMSurestream", kDefaultSureStream, kCodings, [](EncoderSettings& s) -> int32_t& { return s.sureStream; }),
    audienceSwitch<0>("ZVKRMTarget0"),
    audienceSwitch<1>("ZVKRMTarget1"),
    audienceSwitch<2>("ZVKRMTarget2"),
    audienceSwitch<3>("ZVKRMTarget3"),
    audienceSwitch<4>("ZVKRMTarget4"),
    audienceSwitch<5>("ZVKRMTarget5"),
    audienceSwitch<6>("ZVKRMTarget6"),
    audienceSwitch<7>("ZVKRMTarget7"),
    onOff("ZVKRMTitleArtist", kDefaultTitleArtistOrder, kNameOrders,
          [](EncoderSettings& s) -> int32_t& { return s.titleArtistOrder; }),
    {"ZVKRMExt", SettingType::Text, 0, nullptr, 0, nullptr},
};

const SettingDefinition* findSetting(const char* valueName) {
  for (const SettingDefinition& setting : kSettingCatalogue) {
    if (std::strcmp(setting.valueName, valueName) == 0) return &setting;
  }
  return nullptr;
}

const SettingDefinition& rateSetting() { return kSettingCatalogue[kRateEntry]; }

const SettingDefinition& audioFormatSetting() { return kSettingCatalogue[kAudioFormatEntry]; }

int32_t loadedNumber(const SettingDefinition& setting, uint32_t number) {
  return setting.isSwitch ? int32_t(number != 0) : int32_t(number);
}

int choiceIndexOf(const SettingDefinition& setting, int32_t value) {
  for (size_t i = 0; i < setting.choiceCount; ++i) {
    if (setting.choices[i].value == value) return int(i);
  }
  return -1;
}

const char* choiceText(const SettingDefinition& setting, int32_t value) {
  const int index = choiceIndexOf(setting, value);
  return index < 0 ? nullptr : setting.choices[index].text;
}

namespace {

const char kMustBeNumber[] = "a number setting must be stored as REG_DWORD";
const char kMustBeText[] = "the extension must be stored as REG_SZ text";

bool audiencesStored(const StoredValue (&stored)[kSettingCount]) {
  return stored[kFirstAudienceEntry].kind != StoredValue::Kind::Absent;
}

}  // namespace

const char* valueRefusal(const SettingDefinition& setting, const StoredValue& stored) {
  switch (stored.kind) {
    case StoredValue::Kind::Absent:
      return nullptr;
    case StoredValue::Kind::OtherType:
      return setting.type == SettingType::Number ? kMustBeNumber : kMustBeText;
    case StoredValue::Kind::Number:
      if (setting.type != SettingType::Number) return kMustBeText;
      return choiceIndexOf(setting, loadedNumber(setting, stored.number)) < 0 ? "not a value the settings panel offers"
                                                                : nullptr;
    case StoredValue::Kind::Text:
      if (setting.type != SettingType::Number) {
        return usableExtension(stored.text) == stored.text ? nullptr : "not an extension the plug-in takes";
      }
      return kMustBeNumber;
  }
  return nullptr;
}

const char* ignoredBecause(const StoredValue (&stored)[kSettingCount], size_t entry) {
  if (isAudience(entry) && !audiencesStored(stored) && stored[entry].kind != StoredValue::Kind::Absent) {
    return "the audience values count only when ZVKRMTarget0 is stored";
  }
  return valueRefusal(kSettingCatalogue[entry], stored[entry]);
}

void applyStoredValues(const StoredValue (&stored)[kSettingCount], EncoderSettings& settings) {
  for (int32_t& flag : settings.targetAudiences) flag = 0;
  for (size_t entry = 0; entry < kSettingCount; ++entry) {
    const SettingDefinition& setting = kSettingCatalogue[entry];
    const StoredValue& value = stored[entry];
    const bool absent = value.kind == StoredValue::Kind::Absent;
    const bool ignored = valueRefusal(setting, value) != nullptr;
    if (entry == kExtensionEntry) {
      if (absent) continue;
      const char* extension = ignored ? kDefaultExtension : value.text;
      std::memcpy(settings.extension, extension, std::strlen(extension) + 1);
      continue;
    }
    if (isAudience(entry) && !audiencesStored(stored)) {
      setting.field(settings) = setting.defaultNumber;
      continue;
    }
    if (absent && entry == kRateEntry) continue;
    setting.field(settings) = absent ? 0 : ignored ? setting.defaultNumber : loadedNumber(setting, value.number);
  }
}
