#pragma once
#include <cstdint>
#include <string>

// The plug-in settings plughost lets a user set, as the settings catalogue
// (settings_catalogue.h) has them: the names the plug-in reads from its
// registry key and, for each, the values its settings panel offers. Anything
// else is refused before a run starts, so a typo can neither fail every later
// run nor be stored and silently ignored.

// One "--set NAME=VALUE". `name` always carries the "ZVKRM" prefix.
struct SettingOverride {
  std::string name;
  std::string value;
  bool isText = false;   // REG_SZ (only ZVKRMExt); otherwise REG_DWORD
  uint32_t number = 0;   // the REG_DWORD value
};

// Parses "ZVKRMFreq=22050" or the short form "Freq=22050". False: `error`
// names what is wrong and lists the valid names or values.
bool parseSettingOverride(const std::string& text, SettingOverride& setting, std::string& error);

// A decimal number from 0 to 2^32-1, digits only (no sign, no spaces).
bool parseDecimal(const std::string& text, uint32_t& value);

// The values a setting takes, for a listing ("8000, 11025, ..." or
// "0 (Voice), 1 (Voice & Music), ..."; for the extension its rule with the
// default in brackets); empty for an unknown name.
std::string allowedValuesOf(const std::string& name);

// A number as a listing shows it: "3 (Stereo Music)", "0 (off)", "44100".
std::string numberWithItsText(const std::string& name, int32_t value);

// Every setting with its values, a line each (the eight audiences as one),
// each line starting with `indent`.
std::string settingsListing(const std::string& indent);
