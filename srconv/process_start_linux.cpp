#include "srconv/process_start.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// Linux tells in /proc/<pid>/stat: the state is the third field and the start
// (clock ticks after boot) the 22nd. The second, the command name in
// parentheses, may hold spaces and parentheses itself: fields are counted
// from its closing one.
bool liveProcessStart(pid_t pid, uint64_t& start) {
  char text[1024];
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return false;
  size_t length = std::fread(text, 1, sizeof text - 1, file);
  std::fclose(file);
  text[length] = '\0';
  const char* field = std::strrchr(text, ')');
  if (field == nullptr || field[1] != ' ') return false;
  const char state = field[2];
  if (state == 'Z' || state == 'X' || state == '\0') return false;
  field += 2;
  for (int skipped = 3; skipped < 22 && field != nullptr; ++skipped) {
    field = std::strchr(field, ' ');
    if (field != nullptr) ++field;
  }
  if (field == nullptr) return false;
  char* end = nullptr;
  start = std::strtoull(field, &end, 10);
  return end != field;
}
