#include "tests/win32_support/host_key.h"

#include <cstring>

namespace hostkey {
namespace {

struct OpenKey {
  HKEY handle = nullptr;
  explicit OpenKey(REGSAM access, bool create) {
    if (create) {
      RegCreateKeyExA(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, access, nullptr, &handle, nullptr);
    } else {
      RegOpenKeyExA(HKEY_CURRENT_USER, kPath, 0, access, &handle);
    }
  }
  ~OpenKey() {
    if (handle) RegCloseKey(handle);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
};

}  // namespace

bool remove() {
  RegDeleteTreeA(HKEY_CURRENT_USER, kPath);
  return !exists();
}

bool resetToEmpty() {
  if (!remove()) return false;
  OpenKey key(KEY_WRITE, true);
  return key.handle != nullptr;
}

bool exists() {
  OpenKey key(KEY_QUERY_VALUE, false);
  return key.handle != nullptr;
}

bool setRaw(const char* name, DWORD type, const void* bytes, DWORD byteCount) {
  OpenKey key(KEY_WRITE, true);
  if (!key.handle) return false;
  return RegSetValueExA(key.handle, name, 0, type, static_cast<const BYTE*>(bytes), byteCount) ==
         ERROR_SUCCESS;
}

bool setDword(const char* name, uint32_t value) {
  return setRaw(name, REG_DWORD, &value, sizeof value);
}

bool setString(const char* name, const std::string& text) {
  return setRaw(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

StoredValue get(const char* name) {
  StoredValue value;
  OpenKey key(KEY_QUERY_VALUE, false);
  if (!key.handle) return value;
  DWORD size = 0;
  if (RegQueryValueExA(key.handle, name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
    return value;
  }
  value.bytes.resize(size);
  if (RegQueryValueExA(key.handle, name, nullptr, &value.type, value.bytes.data(), &size) !=
      ERROR_SUCCESS) {
    return StoredValue{};
  }
  value.bytes.resize(size);
  value.present = true;
  return value;
}

uint32_t StoredValue::asDword() const {
  if (bytes.size() < 4) return 0;
  uint32_t word = 0;
  std::memcpy(&word, bytes.data(), 4);
  return word;
}

std::string StoredValue::asString() const {
  std::string text(bytes.begin(), bytes.end());
  return text.substr(0, text.find('\0'));
}

std::vector<std::string> valueNames() {
  std::vector<std::string> names;
  OpenKey key(KEY_QUERY_VALUE, false);
  if (!key.handle) return names;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD length = sizeof name;
    if (RegEnumValueA(key.handle, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, length);
  }
  return names;
}

}  // namespace hostkey
