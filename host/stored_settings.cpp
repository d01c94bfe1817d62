#include "host/stored_settings.h"

#include "host/setting_rules.h"
#include "host/wide_text.h"

namespace {

// Reads one value as the plug-in's registry reader classifies it.
StoredValue readValue(HKEY key, const char* name, std::string& text, std::string& shown) {
  StoredValue value;
  const std::wstring wideName = widened(name);
  DWORD type = 0, size = 0;
  if (key == nullptr || RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return value;
  }
  std::vector<BYTE> data(size + 2 * sizeof(wchar_t), 0);  // a NUL after any text, even of odd length
  RegQueryValueExW(key, wideName.c_str(), nullptr, &type, data.data(), &size);
  value.registryType = type;
  if (type == REG_DWORD && size == 4) {
    value.kind = StoredValue::Kind::Number;
    value.number = *reinterpret_cast<const DWORD*>(data.data());
    return value;
  }
  if (type == REG_SZ) {
    const std::wstring wide(reinterpret_cast<const wchar_t*>(data.data()));
    shown = "text \"" + narrowedToUtf8(wide) + "\"";
    if (!ansiFormOf(wide, text)) text = "?";  // the plug-in would see '?' for what ANSI lacks
    value.kind = StoredValue::Kind::Text;
    value.text = text.c_str();
    return value;
  }
  value.kind = StoredValue::Kind::OtherType;
  shown = "registry type " + std::to_string(type) + " (" + std::to_string(size) + " bytes)";
  return value;
}

}  // namespace

StoredSettings::StoredSettings(HKEY key) {
  for (size_t i = 0; i < kSettingCount; ++i) {
    stored[i] = readValue(key, kSettingCatalogue[i].valueName, texts[i], shown[i]);
    if (stored[i].kind == StoredValue::Kind::Text) stored[i].text = texts[i].c_str();
  }
  // As the plug-in's first load: the audience defaults, then the values.
  record.targetAudiences[0] = 1;
  applyStoredValues(stored, record);
}

std::string StoredSettings::usedText(size_t entry) const {
  const SettingDefinition& setting = kSettingCatalogue[entry];
  // The record holds the text as the plug-in reads it, in the ANSI code page.
  if (setting.type == SettingType::Text) return "\"" + narrowedToUtf8(widenedFromAnsi(record.extension)) + "\"";
  return numberWithItsText(setting.valueName, setting.valueIn(record));
}

std::string StoredSettings::storedText(size_t entry) const {
  if (stored[entry].kind == StoredValue::Kind::Number) return std::to_string(stored[entry].number);
  return shown[entry];
}

std::string StoredSettings::listing(const std::string& indent) const {
  std::string lines;
  for (size_t i = 0; i < kSettingCount; ++i) {
    const std::string name = kSettingCatalogue[i].valueName;
    std::string line = indent + name + std::string(17 - name.size(), ' ') + usedText(i);
    const char* why = ignoredBecause(stored, i);
    if (stored[i].kind == StoredValue::Kind::Absent) {
      line += " (not stored: the plug-in's default)";
    } else if (why != nullptr) {
      line += " (stored as " + storedText(i) + " and ignored: " + why + ")";
    }
    lines += line + "\n";
  }
  return lines;
}

std::vector<std::string> StoredSettings::ignoredValues() const {
  std::vector<std::string> sentences;
  for (size_t i = 0; i < kSettingCount; ++i) {
    const char* why = ignoredBecause(stored, i);
    if (why == nullptr) continue;
    sentences.push_back(std::string(kSettingCatalogue[i].valueName) + " is stored as " + storedText(i) +
                        " and ignored (" + why + "); the plug-in uses " + usedText(i));
  }
  return sentences;
}
