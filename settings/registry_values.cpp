#include "settings/registry_values.h"

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

StoredValue readRegistryValue(const char* valueName, HKEY root, const char* path, char* textBuffer,
                              uint32_t bufferSize) {
  // Zeroing the whole buffer first terminates any shorter text, including
  // one stored without its NUL.
  std::memset(textBuffer, 0, bufferSize);
  StoredValue stored;
  HKEY key = createOrOpenKey(root, path, "REG_DWORD", KEY_QUERY_VALUE);
  if (!key) return stored;
  DWORD type = 0, byteCount = 0;
  if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &byteCount) == ERROR_SUCCESS) {
    stored.kind = StoredValue::Kind::OtherType;
    stored.registryType = type;
    if (type == REG_DWORD && byteCount == sizeof stored.number) {
      byteCount = sizeof stored.number;
      if (RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&stored.number),
                           &byteCount) == ERROR_SUCCESS) {
        stored.kind = StoredValue::Kind::Number;
      }
    } else if (type == REG_SZ) {
      byteCount = bufferSize;
      const LONG status = RegQueryValueExA(key, valueName, nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(textBuffer), &byteCount);
      // A text that fills the buffer without a NUL does not fit: it reads
      // like one longer than the buffer.
      const bool fits = status == ERROR_SUCCESS &&
                        (byteCount < bufferSize || textBuffer[bufferSize - 1] == '\0');
      if (!fits) std::memset(textBuffer, 0, bufferSize);
      stored.kind = StoredValue::Kind::Text;
      stored.text = textBuffer;
    }
  }
  RegCloseKey(key);
  return stored;
}

void writeRegistryDword(uint32_t value, const char* valueName, HKEY root, const char* path) {
  HKEY key = createOrOpenKey(root, path, "REG_DWORD", KEY_WRITE);
  if (!key) return;
  RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                 sizeof value);
  RegCloseKey(key);
}

void writeRegistryString(const char* text, const char* valueName, HKEY root, const char* path) {
  HKEY key = createOrOpenKey(root, path, "REG_SZ", KEY_WRITE);
  if (!key) return;
  RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>(std::strlen(text) + 1));
  RegCloseKey(key);
}

