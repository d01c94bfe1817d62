#include "srconv/temporary_output.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "srconv/interrupts.h"
#include "srconv/process_start.h"

namespace {

constexpr char kSuffix[] = ".part";
constexpr size_t kSuffixBytes = sizeof kSuffix - 1;
constexpr size_t kUniqueBytes = 6;  // mkstemps' XXXXXX

std::string runNameOf(pid_t pid, uint64_t start) { return std::to_string(pid) + "-" + std::to_string(start); }

// "<process id>-<start>", or "" where the system does not tell the start:
// then no run can tell whether another lives either.
std::string thisRunName() {
  uint64_t start = 0;
  return liveProcessStart(getpid(), start) ? runNameOf(getpid(), start) : std::string();
}

// Only the form runNameOf writes counts (no sign, no leading zero): no file
// of another making passes for a run's.
bool parseRunName(const std::string& text, pid_t& pid, uint64_t& start) {
  size_t dash = text.find('-');
  if (dash == std::string::npos || text.find_first_not_of("0123456789-") != std::string::npos) return false;
  pid = pid_t(std::strtol(text.c_str(), nullptr, 10));
  start = std::strtoull(text.c_str() + dash + 1, nullptr, 10);
  return pid > 0 && runNameOf(pid, start) == text;
}

// True when `name` is a temporary of the output `outputName` ("<outputName>.
// <run>.XXXXXX.part") whose run has ended.
bool isLeftover(const std::string& name, const std::string& outputName) {
  const size_t runAt = outputName.size() + 1;
  if (name.size() < runAt + kUniqueBytes + 1 + kSuffixBytes || name.compare(0, outputName.size(), outputName) != 0 ||
      name[outputName.size()] != '.' || name.compare(name.size() - kSuffixBytes, kSuffixBytes, kSuffix) != 0)
    return false;
  const size_t uniqueAt = name.size() - kSuffixBytes - kUniqueBytes;
  if (name[uniqueAt - 1] != '.') return false;
  for (size_t i = uniqueAt; i < uniqueAt + kUniqueBytes; ++i)
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
  pid_t pid = 0;
  uint64_t start = 0, liveStart = 0;
  if (!parseRunName(name.substr(runAt, uniqueAt - 1 - runAt), pid, start)) return false;
  return !liveProcessStart(pid, liveStart) || liveStart != start;
}

// Removes the file unless it is held (see TemporaryOutput::create). Opened
// for writing, as an exclusive lock on a network file system needs; a link
// or a pipe of that name is none of srconv's, and must not make it wait.
void removeUnlessHeld(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return;
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0) unlink(path.c_str());
  close(fd);
}

void removeLeftovers(const std::string& finalPath) {
  const size_t slash = finalPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : finalPath.substr(0, slash + 1);
  const std::string outputName = finalPath.substr(folder.size());
  DIR* listing = opendir(folder.empty() ? "." : folder.c_str());
  if (listing == nullptr) return;
  while (dirent* entry = readdir(listing))
    if (isLeftover(entry->d_name, outputName)) removeUnlessHeld(folder + entry->d_name);
  closedir(listing);
}

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
  const std::string run = thisRunName();
  if (!run.empty()) removeLeftovers(finalPath);
  std::string pattern = finalPath + "." + (run.empty() ? "" : run + ".") + "XXXXXX" + kSuffix;
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  InterruptsHeld held;  // until an interrupt knows the file to remove
  int fd = mkstemps(name.data(), int(kSuffixBytes));
  if (fd < 0) {
    error = "cannot create " + finalPath + ": " + std::strerror(errno);
    return false;
  }
  fchmod(fd, creationMode());
  flock(fd, LOCK_EX | LOCK_NB);  // released by the system however this run ends
  lockedFile_ = fd;
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
  release();
  return true;
}

void TemporaryOutput::discard() {
  if (temporaryPath_.empty()) return;
  InterruptsHeld held;
  std::remove(temporaryPath_.c_str());
  release();
}

void TemporaryOutput::release() {
  temporaryPath_.clear();
  removeOnInterrupt(nullptr);
  if (lockedFile_ >= 0) close(lockedFile_);
  lockedFile_ = -1;
}
