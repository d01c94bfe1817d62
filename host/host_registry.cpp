#include "host_registry.h"

#include <windows.h>

namespace {

const char kSettingsKey[] = "Software\\Harborlane\\Tonewright";

bool writeOne(HKEY key, const SettingOverride& setting) {
  if (setting.isText) {
    return RegSetValueExA(key, setting.name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(setting.value.c_str()),
                          DWORD(setting.value.size() + 1)) == ERROR_SUCCESS;
  }
  DWORD number = setting.number;
  return RegSetValueExA(key, setting.name.c_str(), 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&number), sizeof number) == ERROR_SUCCESS;
}

}  // namespace

bool writeSettingOverrides(const std::vector<SettingOverride>& settings, std::string& error) {
  if (settings.empty()) return true;
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    error = std::string("cannot open HKCU\\") + kSettingsKey;
    return false;
  }
  bool ok = true;
  for (const SettingOverride& setting : settings) {
    if (!writeOne(key, setting)) {
      error = "cannot write the setting " + setting.name;
      ok = false;
      break;
    }
  }
  RegCloseKey(key);
  return ok;
}
