#include "settings/output_extension.h"

#include <cstring>

namespace {

const char kDefaultExtension[] = ".rm";
constexpr int kMaxCharactersAfterDot = 15;

// Bytes of the ANSI code page that no Windows file name holds. Bytes above
// 0x7F are allowed; a double-byte character whose second byte is 0x5C ('\')
// is refused with it, which errs on the safe side.
bool allowedInFileName(char c) {
  return static_cast<unsigned char>(c) >= 0x20 && std::strchr("\\/:*?<>\"|", c) == nullptr;
}

}  // namespace

const char* usableExtension(const char* stored) {
  if (stored == nullptr || stored[0] != '.') return kDefaultExtension;
  int count = 0;
  for (const char* c = stored + 1; *c != '\0'; ++c) {
    if (++count > kMaxCharactersAfterDot || !allowedInFileName(*c)) return kDefaultExtension;
  }
  // Windows drops a name's trailing dots and spaces, so such an extension
  // would not be the one the file gets.
  const char last = stored[count];
  return count > 0 && last != '.' && last != ' ' ? stored : kDefaultExtension;
}
