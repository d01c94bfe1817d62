#include "host/run_settings.h"

#include <cstdio>
#include <vector>

#include "host/run_identity.h"
#include "host/stored_settings.h"
#include "host/wide_text.h"

namespace {

const wchar_t kParentPath[] = L"Software\\Harborlane";
const wchar_t kHostKeyPath[] = L"Software\\Harborlane\\Tonewright";
// Inside the private key, the same path the plug-in opens under HKEY_CURRENT_USER.
const wchar_t* const kInnerPaths[] = {L"Software", L"Software\\Harborlane", L"Software\\Harborlane\\Tonewright"};

const wchar_t kRunKeyPrefix[] = L"plughost-run-";

// The name of both a run's private key and the mutex it holds while alive.
std::wstring runKeyName(const std::wstring& runName) { return kRunKeyPrefix + runName; }

bool runIsAlive(const std::wstring& keyName) {
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, keyName.c_str());
  if (mutex != nullptr) CloseHandle(mutex);
  return mutex != nullptr || GetLastError() != ERROR_FILE_NOT_FOUND;
}

// Deletes the private keys whose runs are no longer alive (killed outright,
// their watcher too). Keys of the earlier, process-id-only form are left.
void removeLeftoverRunKeys() {
  HKEY parent = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kParentPath, 0, KEY_READ, &parent) != ERROR_SUCCESS) return;
  std::vector<std::wstring> dead;
  const size_t prefixLength = sizeof kRunKeyPrefix / sizeof kRunKeyPrefix[0] - 1;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = sizeof name / sizeof name[0];
    if (RegEnumKeyExW(parent, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    const std::wstring keyName(name, nameLength);
    if (keyName.compare(0, prefixLength, kRunKeyPrefix) == 0 && isRunName(keyName.substr(prefixLength)) &&
        !runIsAlive(keyName)) {
      dead.push_back(keyName);
    }
  }
  RegCloseKey(parent);
  for (const std::wstring& keyName : dead) deletePrivateSettingsKey(std::wstring(kParentPath) + L"\\" + keyName);
}

bool storeOverride(HKEY key, const SettingOverride& setting) {
  std::wstring name = widened(setting.name);
  if (setting.isText) {
    std::wstring text = widened(setting.value);
    return RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }
  DWORD number = setting.number;
  return RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                        sizeof number) == ERROR_SUCCESS;
}

bool storeOverrides(HKEY key, const std::vector<SettingOverride>& overrides, std::string& error) {
  for (const SettingOverride& setting : overrides) {
    if (!storeOverride(key, setting)) {
      error = "cannot write the setting " + setting.name;
      return false;
    }
  }
  return true;
}

// Copies every value of `from` (any type, raw) into `to`.
bool copyValues(HKEY from, HKEY to) {
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameLength = sizeof name / sizeof name[0];
    DWORD type = 0, size = 0;
    LONG status = RegEnumValueW(from, index, name, &nameLength, nullptr, &type, nullptr, &size);
    if (status == ERROR_NO_MORE_ITEMS) return true;
    if (status != ERROR_SUCCESS) return false;
    std::vector<BYTE> data(size + 2);
    nameLength = sizeof name / sizeof name[0];
    if (RegEnumValueW(from, index, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS ||
        RegSetValueExW(to, name, 0, type, data.data(), size) != ERROR_SUCCESS) {
      return false;
    }
  }
}

}  // namespace

bool RunSettings::begin(const std::vector<SettingOverride>& overrides, std::string& error) {
  const std::wstring keyName = runKeyName(thisRunName());
  alive = CreateMutexW(nullptr, FALSE, keyName.c_str());
  removeLeftoverRunKeys();
  keyPath = std::wstring(kParentPath) + L"\\" + keyName;
  HKEY parent = nullptr;
  // The parent stays an ordinary key: the plug-in creates its own key beside ours.
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kParentPath, 0, nullptr, 0, KEY_CREATE_SUB_KEY, nullptr, &parent,
                      nullptr) != ERROR_SUCCESS ||
      RegCreateKeyExW(parent, keyPath.c_str() + wcslen(kParentPath) + 1, 0, nullptr, REG_OPTION_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &root, nullptr) != ERROR_SUCCESS) {
    if (parent != nullptr) RegCloseKey(parent);
    error = "cannot create a private registry key for this run's settings";
    keyPath.clear();
    return false;
  }
  RegCloseKey(parent);
  HKEY inner = nullptr;
  for (const wchar_t* path : kInnerPaths) {
    if (inner != nullptr) RegCloseKey(inner);
    inner = nullptr;
    RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &inner, nullptr);
  }
  HKEY stored = nullptr;
  bool ok = inner != nullptr;
  if (ok && RegOpenKeyExW(HKEY_CURRENT_USER, kHostKeyPath, 0, KEY_READ, &stored) == ERROR_SUCCESS) {
    ok = copyValues(stored, inner);
    RegCloseKey(stored);
  }
  ok = ok && storeOverrides(inner, overrides, error);
  if (ok) {
    StoredSettings seen(inner);
    pluginSettings = seen.used();
    ignored = seen.ignoredValues();
  }
  if (inner != nullptr) RegCloseKey(inner);
  if (ok && RegOverridePredefKey(HKEY_CURRENT_USER, root) != ERROR_SUCCESS) {
    ok = false;
    error = "cannot give this run's settings to the plug-in (RegOverridePredefKey failed)";
  }
  if (!ok) {
    if (error.empty()) error = "cannot copy the stored settings into this run's private key";
    end();
  }
  return ok;
}

void RunSettings::end() {
  if (root != nullptr) {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(root);
    root = nullptr;
    deletePrivateSettingsKey(keyPath);
    keyPath.clear();
  }
  if (alive != nullptr) CloseHandle(alive);
  alive = nullptr;
}

void deletePrivateSettingsKey(const std::wstring& path) {
  if (path.empty()) return;
  // Deepest first: a key with subkeys cannot be deleted.
  for (int i = int(sizeof kInnerPaths / sizeof kInnerPaths[0]) - 1; i >= 0; --i) {
    RegDeleteKeyW(HKEY_CURRENT_USER, (path + L"\\" + kInnerPaths[i]).c_str());
  }
  RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
}

int runSettingsCommand(const std::vector<SettingOverride>& overrides) {
  std::string error;
  HKEY key = nullptr;
  if (!overrides.empty()) {
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kHostKeyPath, 0, nullptr, 0, KEY_WRITE | KEY_READ, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      writeText(stderr, "plughost: cannot open HKCU\\Software\\Harborlane\\Tonewright for writing\n");
      return 2;
    }
    if (!storeOverrides(key, overrides, error)) {
      writeText(stderr, "plughost: " + error + "\n");
      RegCloseKey(key);
      return 2;
    }
  } else if (RegOpenKeyExW(HKEY_CURRENT_USER, kHostKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    key = nullptr;
  }
  std::string listing = "The plug-in's settings (stored in HKCU\\Software\\Harborlane\\Tonewright):\n" +
                        StoredSettings(key).listing("  ");
  if (key != nullptr) RegCloseKey(key);
  writeText(stdout, listing);
  return 0;
}
