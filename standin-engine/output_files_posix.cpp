#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "standin-engine/output_files.h"

// A live session holds an exclusive lock on its file; unlinking would not
// wait for it, so the lock is what tells a live file from a leftover.
FILE* createNewFile(const std::string& path, bool& nameTaken) {
  const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  nameTaken = descriptor < 0 && errno == EEXIST;
  if (descriptor < 0) return nullptr;
  FILE* file = flock(descriptor, LOCK_EX | LOCK_NB) == 0 ? fdopen(descriptor, "w+b") : nullptr;
  if (!file) {
    removeHeldFile(path);
    close(descriptor);
  }
  return file;
}

// The lock is taken on the file that was opened; the name is removed only
// if it still names that file (its writer may have renamed it meanwhile).
bool removeUnusedFile(const std::string& path) {
  const int descriptor = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (descriptor < 0) return errno == ENOENT;
  struct stat locked, named;
  const bool removed = flock(descriptor, LOCK_EX | LOCK_NB) == 0 && fstat(descriptor, &locked) == 0 &&
                       stat(path.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
                       locked.st_ino == named.st_ino && unlink(path.c_str()) == 0;
  close(descriptor);
  return removed;
}

bool replaceFile(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

void removeHeldFile(const std::string& path) { unlink(path.c_str()); }
