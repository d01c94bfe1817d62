#include "registry_values.h"

#include <cstring>

namespace {

// The class texts are what the key is created with when it does not exist
// yet; they have no effect on an existing key.
HKEY createOrOpenKey(HKEY root, const char* path, const char* keyClass, REGSAM access) {
  HKEY key = nullptr;
  char classText[16];
  std::strncpy(classText, keyClass, sizeof classText - 1);
  classText[sizeof classText - 1] = '\0';
  if (RegCreateKeyExA(root, path, 0, classText, 0, access, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

}  // namespace

uint32_t readRegistryDword(const char* valueName, HKEY root, const char* path) {
  HKEY key = createOrOpenKey(root, path, "REG_DWORD", KEY_QUERY_VALUE);
  if (!key) return 0;
  uint32_t word = 0;
  DWORD byteCount = sizeof word;
  const LONG status = RegQueryValueExA(key, valueName, nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&word), &byteCount);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? word : 0;
}

void writeRegistryDword(uint32_t value, const char* valueName, HKEY root, const char* path) {
  HKEY key = createOrOpenKey(root, path, "REG_DWORD", KEY_WRITE);
  if (!key) return;
  RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                 sizeof value);
  RegCloseKey(key);
}

void readRegistryString(char* buffer, uint32_t bufferSize, const char* valueName, HKEY root,
                        const char* path) {
  // Zeroing the whole buffer first terminates any shorter value, including
  // one stored without its NUL.
  std::memset(buffer, 0, bufferSize);
  HKEY key = createOrOpenKey(root, path, "REG_SZ", KEY_QUERY_VALUE);
  if (!key) return;
  DWORD byteCount = bufferSize;
  const LONG status = RegQueryValueExA(key, valueName, nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(buffer), &byteCount);
  RegCloseKey(key);
  // A value that fills the buffer without a NUL does not fit: treat it like
  // one longer than the buffer.
  const bool fits = status == ERROR_SUCCESS &&
                    (byteCount < bufferSize || buffer[bufferSize - 1] == '\0');
  if (!fits) std::memset(buffer, 0, bufferSize);
}

void writeRegistryString(const char* text, const char* valueName, HKEY root, const char* path) {
  HKEY key = createOrOpenKey(root, path, "REG_SZ", KEY_WRITE);
  if (!key) return;
  RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>(std::strlen(text) + 1));
  RegCloseKey(key);
}

bool registryValueExists(const char* valueName, HKEY root, const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  const bool found =
      RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}
