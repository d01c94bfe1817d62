// Path of the running program on POSIX systems (native builds have no
// plug-in library; the program stands in for it).
#include <unistd.h>

#include <vector>

#include "engine/access_path.h"

std::string moduleFilePath(void* /*moduleHandle*/) {
  std::vector<char> path(4096);
  ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size()) return std::string();
  return std::string(path.data(), static_cast<size_t>(length));
}
