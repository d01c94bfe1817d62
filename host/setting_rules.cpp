#include "host/setting_rules.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "settings/output_extension.h"
#include "settings/settings_catalogue.h"

namespace {

const char kPrefix[] = "ZVKRM";

std::string nameList() {
  std::string list;
  for (const SettingDefinition& setting : kSettingCatalogue) {
    list += std::string(list.empty() ? "" : ", ") + setting.valueName;
  }
  return list;
}

// "ZVKRMTarget3" -> "ZVKRMTarget": settings that differ only by a trailing
// digit are listed as one.
std::string stemOf(const std::string& name) {
  size_t end = name.size();
  while (end > 0 && name[end - 1] >= '0' && name[end - 1] <= '9') --end;
  return end < name.size() ? name.substr(0, end) : name;
}

// The override as the registry would hold it, once its number is parsed.
StoredValue asStored(const SettingOverride& setting) {
  StoredValue stored;
  stored.kind = setting.isText ? StoredValue::Kind::Text : StoredValue::Kind::Number;
  stored.text = setting.value.c_str();
  stored.number = setting.number;
  return stored;
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

std::string numberWithItsText(const std::string& name, int32_t value) {
  const SettingDefinition* setting = findSetting(name.c_str());
  const char* text = setting != nullptr ? choiceText(*setting, value) : nullptr;
  const std::string number = std::to_string(value);
  return text == nullptr || number == text ? number : number + " (" + text + ")";
}

std::string allowedValuesOf(const std::string& name) {
  const SettingDefinition* setting = findSetting(name.c_str());
  if (setting == nullptr) return std::string();
  if (setting->type == SettingType::Text) return std::string(kExtensionRule) + " (" + kDefaultExtension + ")";
  std::string list;
  for (size_t i = 0; i < setting->choiceCount; ++i) {
    list += (i ? ", " : "") + numberWithItsText(name, setting->choices[i].value);
  }
  return list;
}

std::string settingsListing(const std::string& indent) {
  std::string listing;
  for (size_t i = 0; i < kSettingCount; ++i) {
    std::string name = kSettingCatalogue[i].valueName;
    const std::string stem = stemOf(name);
    size_t last = i;
    while (last + 1 < kSettingCount && stem != name && stemOf(kSettingCatalogue[last + 1].valueName) == stem) ++last;
    if (last > i) name += ".." + std::string(kSettingCatalogue[last].valueName).substr(stem.size());
    listing += indent + name + ": " + allowedValuesOf(kSettingCatalogue[i].valueName) + "\n";
    i = last;
  }
  return listing;
}

bool parseSettingOverride(const std::string& text, SettingOverride& setting, std::string& error) {
  size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) {
    error = "--set needs NAME=VALUE, got \"" + text + "\"";
    return false;
  }
  std::string name = text.substr(0, equals);
  if (name.compare(0, std::strlen(kPrefix), kPrefix) != 0) name = kPrefix + name;
  const SettingDefinition* definition = findSetting(name.c_str());
  if (definition == nullptr) {
    error = "--set: unknown setting \"" + text.substr(0, equals) + "\"; valid names: " + nameList() +
            " (the ZVKRM prefix may be left out)";
    return false;
  }
  setting.name = name;
  setting.value = text.substr(equals + 1);
  setting.isText = definition->type == SettingType::Text;
  // Only the values listed: a stored switch reads any nonzero number as on,
  // but a user asking for one is told 0 and 1.
  const bool valid = setting.isText ? valueRefusal(*definition, asStored(setting)) == nullptr
                                    : parseDecimal(setting.value, setting.number) &&
                                          choiceIndexOf(*definition, int32_t(setting.number)) >= 0;
  if (!valid) {
    error = "--set " + name + ": \"" + setting.value + "\" is not a valid value; valid: " + allowedValuesOf(name);
    return false;
  }
  return true;
}
