#pragma once
// Single registry values under a root key and a key path. Each call opens the
// key, acts and closes it again; no key handle outlives a call. Failures are
// reported only where a caller can use them (see each function).
#include <windows.h>

#include <cstdint>

#include "settings/settings_catalogue.h"

// The value as the settings catalogue reads it: absent (also when the key
// cannot be opened); a number when it is a REG_DWORD of four bytes; text when
// it is a REG_SZ, copied into `textBuffer` (bufferSize >= 4: it also takes
// the query's raw data) and always NUL-terminated there, "" when it does not
// fit with its NUL; any other type or size as such. Type and data are read
// together, in one query. Opens the key with create semantics, so reading
// creates a missing key.
StoredValue readRegistryValue(const char* valueName, HKEY root, const char* path, char* textBuffer,
                              uint32_t bufferSize);

// Stores `value` as REG_DWORD, creating the key if needed; failures ignored.
void writeRegistryDword(uint32_t value, const char* valueName, HKEY root, const char* path);

// Stores `text` as REG_SZ with its terminating NUL, creating the key if
// needed; failures ignored.
void writeRegistryString(const char* text, const char* valueName, HKEY root, const char* path);

