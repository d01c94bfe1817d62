#pragma once
// What each stored setting is: its registry value name, its type, its
// default, the values the settings panel offers with their texts, and the
// rule a stored value must meet. The panel, the registry persistence and
// plughost all read the settings through this one catalogue, so a value the
// plug-in would ignore is ignored, and shown as ignored, everywhere.
#include <cstddef>
#include <cstdint>

struct EncoderSettings;

// The defaults, written here only. A record holds them before its first load
// (encoder_settings.h), and a stored value a load ignores reads as its
// setting's default.
inline constexpr int32_t kDefaultSampleRate = 44100;    // Hz
inline constexpr int32_t kDefaultAudioFormat = 0;       // Voice
inline constexpr int32_t kDefaultSureStream = 0;        // single rate
inline constexpr int32_t kDefaultTitleArtistOrder = 0;  // file names read "artist - title"
inline constexpr char kDefaultExtension[] = ".rm";
// The audience coded for alone while none is chosen: a load without stored
// audiences selects it, and the panel checks it again when the last box is
// unchecked.
inline constexpr int kDefaultAudience = 0;  // "28kbps"

enum class SettingType { Number, Text };  // REG_DWORD of four bytes; REG_SZ

struct SettingChoice {
  int32_t value;
  const char* text;  // as the panel or a listing shows it ("Stereo Music", "8000")
};

struct SettingDefinition {
  const char* valueName;  // "ZVKRMFreq"
  SettingType type;
  int32_t defaultNumber;  // Number: the value an ignored stored one reads as
  const SettingChoice* choices;  // Number: every value it takes, in the panel's order
  size_t choiceCount;
  // The record's field the value loads into (Number only).
  int32_t& (*field)(EncoderSettings&);
  // An on/off switch: any nonzero number stored reads as on (1), as earlier
  // versions and other tools wrote them, so no stored number is refused.
  bool isSwitch = false;

  // That field's value in a record that is only read (Number only): `field`
  // merely locates the field, so reading through it leaves the record alone.
  int32_t valueIn(const EncoderSettings& settings) const { return field(const_cast<EncoderSettings&>(settings)); }
};

constexpr size_t kSettingCount = 13;
// The settings in the order they are stored.
extern const SettingDefinition kSettingCatalogue[kSettingCount];

const SettingDefinition* findSetting(const char* valueName);
// The sample rate ("ZVKRMFreq") and the audio format ("ZVKRMAudioFormat").
const SettingDefinition& rateSetting();
const SettingDefinition& audioFormatSetting();
// The number a load takes from a stored `number`: 0 or 1 for a switch, the
// number itself otherwise.
int32_t loadedNumber(const SettingDefinition& setting, uint32_t number);
// Index of `value` among the setting's choices; -1 when it is not offered.
int choiceIndexOf(const SettingDefinition& setting, int32_t value);
// The choice's text for a number ("Stereo Music" for audio format 3); null
// when the setting does not offer it.
const char* choiceText(const SettingDefinition& setting, int32_t value);

// One stored value as the registry holds it.
struct StoredValue {
  enum class Kind { Absent, Number, Text, OtherType };
  Kind kind = Kind::Absent;  // Number: REG_DWORD of four bytes; Text: REG_SZ that fits the record
  uint32_t number = 0;
  const char* text = nullptr;  // Text: NUL-terminated
  uint32_t registryType = 0;   // OtherType: the registry type found
};

// Why `stored` is not a value `setting` takes (the wrong type, a number the
// panel does not offer, an unusable extension); null when it is, or absent.
const char* valueRefusal(const SettingDefinition& setting, const StoredValue& stored);

// Why a load does not use the stored value of catalogue entry `entry` (the
// values in catalogue order); null when it uses it or nothing is stored.
const char* ignoredBecause(const StoredValue (&stored)[kSettingCount], size_t entry);

// Loads the stored values (one per catalogue entry, in catalogue order) into
// `settings` as the plug-in does. A value that is absent leaves the rate and
// the extension as they are and reads as 0 otherwise; the eight audience
// values count only when "ZVKRMTarget0" is stored, and without it the default
// audience alone is selected. A value of the wrong type, or one the catalogue
// does not offer, reads as the setting's default. The ninth audience flag,
// which nothing stores, is always cleared.
void applyStoredValues(const StoredValue (&stored)[kSettingCount], EncoderSettings& settings);
