#include "setting_rules.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

const char kPrefix[] = "ZVKRM";

const char* const kNames[] = {"ZVKRMFreq",    "ZVKRMAudioFormat", "ZVKRMSurestream", "ZVKRMTarget0",
                              "ZVKRMTarget1", "ZVKRMTarget2",     "ZVKRMTarget3",    "ZVKRMTarget4",
                              "ZVKRMTarget5", "ZVKRMTarget6",     "ZVKRMTarget7",    "ZVKRMTitleArtist",
                              "ZVKRMExt"};
const int kNameCount = int(sizeof kNames / sizeof kNames[0]);

const uint32_t kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
const char* const kAudioFormats[] = {"Voice", "Voice & Music", "Music", "Stereo Music"};

// A dot and a short name: nothing that could lead an output out of its folder.
const size_t kMaxExtensionLetters = 15;

bool isRate(uint32_t value) {
  for (uint32_t rate : kRates) {
    if (rate == value) return true;
  }
  return false;
}

bool acceptsNumber(const std::string& name, uint32_t value) {
  if (name == "ZVKRMFreq") return isRate(value);
  if (name == "ZVKRMAudioFormat") return value <= 3;
  return value <= 1;  // SureStream, the audiences, the title/artist order
}

bool isExtension(const std::string& text) {
  if (text.size() < 2 || text.size() > kMaxExtensionLetters + 1 || text[0] != '.') return false;
  for (size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!letterOrDigit && c != '_' && c != '-') return false;
  }
  return true;
}

bool isKnownName(const std::string& name) {
  for (const char* known : kNames) {
    if (name == known) return true;
  }
  return false;
}

std::string nameList() {
  std::string list;
  for (const char* name : kNames) list += std::string(list.empty() ? "" : ", ") + name;
  return list;
}

}  // namespace

bool parseDecimal(const std::string& text, uint32_t& value) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed > 0xFFFFFFFFull) return false;
  value = uint32_t(parsed);
  return true;
}

const char* const* settingNames() { return kNames; }

int settingCount() { return kNameCount; }

const char* audioFormatName(uint32_t audioFormat) { return audioFormat < 4 ? kAudioFormats[audioFormat] : ""; }

std::string allowedValuesOf(const std::string& name) {
  if (!isKnownName(name)) return std::string();
  if (name == "ZVKRMExt") {
    return "a dot and 1 to " + std::to_string(kMaxExtensionLetters) + " letters, digits, '-' or '_' (.rm, .ra)";
  }
  std::string list;
  if (name == "ZVKRMFreq") {
    for (uint32_t rate : kRates) list += (list.empty() ? "" : ", ") + std::to_string(rate);
    return list;
  }
  if (name == "ZVKRMAudioFormat") {
    for (int i = 0; i < 4; ++i) list += (i ? ", " : "") + std::to_string(i) + " (" + kAudioFormats[i] + ")";
    return list;
  }
  if (name == "ZVKRMTitleArtist") return "0 (artist - title), 1 (title - artist)";
  return "0 (off), 1 (on)";
}

bool parseSettingOverride(const std::string& text, SettingOverride& setting, std::string& error) {
  size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) {
    error = "--set needs NAME=VALUE, got \"" + text + "\"";
    return false;
  }
  std::string name = text.substr(0, equals);
  if (name.compare(0, std::strlen(kPrefix), kPrefix) != 0) name = kPrefix + name;
  if (!isKnownName(name)) {
    error = "--set: unknown setting \"" + text.substr(0, equals) + "\"; valid names: " + nameList() +
            " (the ZVKRM prefix may be left out)";
    return false;
  }
  setting.name = name;
  setting.value = text.substr(equals + 1);
  setting.isText = name == "ZVKRMExt";
  bool valid = setting.isText ? isExtension(setting.value)
                              : parseDecimal(setting.value, setting.number) && acceptsNumber(name, setting.number);
  if (!valid) {
    error = "--set " + name + ": \"" + setting.value + "\" is not a valid value; valid: " + allowedValuesOf(name);
    return false;
  }
  return true;
}
