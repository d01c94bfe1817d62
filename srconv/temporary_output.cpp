#include "srconv/temporary_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "srconv/interrupts.h"

namespace {

constexpr int kSuffixBytes = 5;  // ".part"

// The mode a plain creation would give: rw for all, less the umask.
mode_t creationMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// An existing output is replaced where it lies (through a symbolic link);
// anything but a regular file (a device, a folder) is refused rather than
// renamed over.
bool resolveTarget(const std::string& finalPath, std::string& target, std::string& error) {
  target = finalPath;
  struct stat info;
  if (stat(finalPath.c_str(), &info) != 0) return true;
  if (!S_ISREG(info.st_mode)) {
    error = finalPath + " exists and is not a regular file";
    return false;
  }
  char* resolved = realpath(finalPath.c_str(), nullptr);
  if (resolved != nullptr) target = resolved;
  std::free(resolved);
  return true;
}

}  // namespace

bool TemporaryOutput::create(const std::string& requestedPath, std::string& error) {
  discard();
  std::string finalPath;
  if (!resolveTarget(requestedPath, finalPath, error)) return false;
  std::string pattern = finalPath + ".XXXXXX.part";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  InterruptsHeld held;  // until an interrupt knows the file to remove
  int fd = mkstemps(name.data(), kSuffixBytes);
  if (fd < 0) {
    error = "cannot create " + finalPath + ": " + std::strerror(errno);
    return false;
  }
  fchmod(fd, creationMode());
  close(fd);
  finalPath_ = finalPath;
  temporaryPath_ = name.data();
  removeOnInterrupt(temporaryPath_.c_str());
  return true;
}

bool TemporaryOutput::commit(std::string& error) {
  InterruptsHeld held;
  if (std::rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0) {
    error = "cannot rename the finished output to " + finalPath_ + ": " + std::strerror(errno);
    return false;
  }
  temporaryPath_.clear();
  removeOnInterrupt(nullptr);
  return true;
}

void TemporaryOutput::discard() {
  if (temporaryPath_.empty()) return;
  InterruptsHeld held;
  std::remove(temporaryPath_.c_str());
  temporaryPath_.clear();
  removeOnInterrupt(nullptr);
}
