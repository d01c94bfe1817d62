#pragma once
// The host's registry key, HKCU\Software\Harborlane\Tonewright, as tests see
// it: every test that depends on stored settings starts by putting the key
// into a known state with these helpers, and reads back what was written.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace hostkey {

constexpr const char* kPath = "Software\\Harborlane\\Tonewright";

// Deletes the key with all its values. True when the key is gone afterwards.
bool remove();
// Creates the key if needed and leaves it without values.
bool resetToEmpty();
bool exists();

// Value access; names are the full value names ("ZVKRMFreq").
bool setDword(const char* name, uint32_t value);
bool setString(const char* name, const std::string& text);
// Raw bytes with any registry type (REG_BINARY, REG_SZ without a NUL ...).
bool setRaw(const char* name, DWORD type, const void* bytes, DWORD byteCount);

struct StoredValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::vector<unsigned char> bytes;
  uint32_t asDword() const;       // the first four bytes, little-endian; 0 if shorter
  std::string asString() const;   // bytes up to the first NUL
};
StoredValue get(const char* name);

// Names of all values under the key, in enumeration order.
std::vector<std::string> valueNames();

}  // namespace hostkey
