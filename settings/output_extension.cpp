#include "settings/output_extension.h"

#include <cstring>

#include "settings/settings_catalogue.h"

namespace {

constexpr int kMaxCharactersAfterDot = 15;

}  // namespace

const char kExtensionRule[] = "a dot and 1 to 15 characters a file name may hold, not ending in a dot or space";

bool allowedInFileName(char c) {
  return static_cast<unsigned char>(c) >= 0x20 && std::strchr("\\/:*?<>\"|", c) == nullptr;
}

bool droppedAtNameEnd(char last) { return last == '.' || last == ' '; }

const char* usableExtension(const char* stored) {
  if (stored == nullptr || stored[0] != '.') return kDefaultExtension;
  int count = 0;
  for (const char* c = stored + 1; *c != '\0'; ++c) {
    if (++count > kMaxCharactersAfterDot || !allowedInFileName(*c)) return kDefaultExtension;
  }
  // Windows drops a name's trailing dots and spaces, so such an extension
  // would not be the one the file gets.
  return count > 0 && !droppedAtNameEnd(stored[count]) ? stored : kDefaultExtension;
}
