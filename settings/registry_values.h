#pragma once
// Single registry values under a root key and a key path. Each call opens the
// key, acts and closes it again; no key handle outlives a call. Failures are
// reported only where a caller can use them (see each function).
#include <windows.h>

#include <cstdint>

// The stored value's first four bytes (a shorter value fills only the low
// bytes of a zeroed word); 0 when the key cannot be opened, the value is
// absent or longer than four bytes. The stored type is not checked. Opens the
// key with create semantics, so reading creates a missing key.
uint32_t readRegistryDword(const char* valueName, HKEY root, const char* path);

// Stores `value` as REG_DWORD, creating the key if needed; failures ignored.
void writeRegistryDword(uint32_t value, const char* valueName, HKEY root, const char* path);

// Reads a text value into `buffer` (bufferSize bytes, bufferSize >= 1). The
// result is always NUL-terminated within bufferSize; it is "" when the key
// cannot be opened, the value is absent, or the value does not fit the buffer
// together with a terminating NUL. Opens the key with create semantics.
void readRegistryString(char* buffer, uint32_t bufferSize, const char* valueName, HKEY root,
                        const char* path);

// Stores `text` as REG_SZ with its terminating NUL, creating the key if
// needed; failures ignored.
void writeRegistryString(const char* text, const char* valueName, HKEY root, const char* path);

// True when the key exists (it is not created) and holds the value.
bool registryValueExists(const char* valueName, HKEY root, const char* path);
