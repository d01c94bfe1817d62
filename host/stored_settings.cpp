#include "host/stored_settings.h"

#include "host/setting_rules.h"
#include "host/wide_text.h"

namespace {

// What the user sees of a value stored as text or with another type: the
// whole text in UTF-8 (the plug-in reads it in the ANSI code page, and only
// as much as its buffer holds), or the registry type and the size.
std::string shownForm(HKEY key, const char* name, StoredValue::Kind kind) {
  if (kind != StoredValue::Kind::Text && kind != StoredValue::Kind::OtherType) return std::string();
  const std::wstring wideName = widened(name);
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::string();
  if (kind == StoredValue::Kind::OtherType) {
    return "registry type " + std::to_string(type) + " (" + std::to_string(size) + " bytes)";
  }
  std::vector<BYTE> data(size + 2 * sizeof(wchar_t), 0);  // a NUL after any text, even of odd length
  RegQueryValueExW(key, wideName.c_str(), nullptr, &type, data.data(), &size);
  return "text \"" + narrowedToUtf8(reinterpret_cast<const wchar_t*>(data.data())) + "\"";
}

}  // namespace

StoredSettings::StoredSettings(HKEY key) {
  // Without a key nothing is stored. Each value is read by the plug-in's own
  // reader ("" reads `key` itself), so that what counts as taken or ignored
  // is what the plug-in's load will make of it.
  for (size_t i = 0; key != nullptr && i < kSettingCount; ++i) {
    const char* name = kSettingCatalogue[i].valueName;
    stored[i] = readRegistryValue(name, key, "", texts[i], sizeof texts[i]);
    shown[i] = shownForm(key, name, stored[i].kind);
  }
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
