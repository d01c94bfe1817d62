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
  // Type and data come from one query: another thread (or the host) may
  // rewrite the value at any time, and a second query could hand one type's
  // data to the reader of another.
  DWORD type = 0, byteCount = bufferSize;
  const LONG status =
      RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(textBuffer), &byteCount);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return stored;
  const bool whole = status == ERROR_SUCCESS;
  stored.kind = StoredValue::Kind::OtherType;
  stored.registryType = type;
  if (type == REG_DWORD && whole && byteCount == sizeof stored.number) {
    std::memcpy(&stored.number, textBuffer, sizeof stored.number);
    stored.kind = StoredValue::Kind::Number;
  } else if (type == REG_SZ) {
    // A text that fills the buffer without a NUL does not fit: it reads
    // like one longer than the buffer.
    const bool fits = whole && (byteCount < bufferSize || textBuffer[bufferSize - 1] == '\0');
    stored.kind = StoredValue::Kind::Text;
    stored.text = textBuffer;
    if (fits) return stored;
  }
  std::memset(textBuffer, 0, bufferSize);
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

