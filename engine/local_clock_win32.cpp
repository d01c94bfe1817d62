// Local date on Windows.
#include <windows.h>

#include "engine/clip_metadata.h"

int32_t currentLocalYear() {
  SYSTEMTIME local;
  GetLocalTime(&local);
  return local.wYear;
}
