// Local date on POSIX systems (native builds).
#include <ctime>

#include "engine/clip_metadata.h"

int32_t currentLocalYear() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}
