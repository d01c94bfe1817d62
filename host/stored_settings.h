#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "settings/encoder_settings.h"
#include "settings/registry_values.h"
#include "settings/settings_catalogue.h"

// The plug-in's values under one registry key, read by the plug-in's own
// reader and the settings catalogue's rules exactly as the plug-in's load
// reads them: what the plug-in will use, and which stored values it ignores
// and why.
class StoredSettings {
public:
  // `key` may be null (nothing stored).
  explicit StoredSettings(HKEY key);
  StoredSettings(const StoredSettings&) = delete;
  StoredSettings& operator=(const StoredSettings&) = delete;

  // The record a fresh load of the plug-in makes from these values.
  const EncoderSettings& used() const { return record; }

  // One line per catalogue entry: "ZVKRMFreq        44100 (stored as 100 and
  // ignored: not a value the settings panel offers)".
  std::string listing(const std::string& indent) const;
  // One sentence per stored value the plug-in ignores.
  std::vector<std::string> ignoredValues() const;

private:
  std::string usedText(size_t entry) const;
  std::string storedText(size_t entry) const;

  StoredValue stored[kSettingCount];  // as the plug-in reads them
  char texts[kSettingCount][sizeof EncoderSettings::extension];  // their texts, in the ANSI code page
  std::string shown[kSettingCount];   // what the user sees of a stored text or other type (UTF-8)
  EncoderSettings record;
};
