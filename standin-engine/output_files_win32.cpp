#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "standin-engine/output_files.h"

namespace {

// How long a replace waits for readers of the output to let go.
const DWORD kReplaceWaitMs = 3000;
const DWORD kReplaceRetryMs = 20;

bool isInUse(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

}  // namespace

// Delete sharing lets the writer itself rename or remove the file while it
// holds it; a leftover check opens it with no sharing at all, which fails
// while any handle is open.
FILE* createNewFile(const std::string& path, bool& nameTaken) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  nameTaken = handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS;
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
  if (descriptor == -1) {
    removeHeldFile(path);
    CloseHandle(handle);
    return nullptr;
  }
  FILE* file = _fdopen(descriptor, "w+b");
  if (!file) {
    removeHeldFile(path);
    _close(descriptor);
  }
  return file;
}

// Opened without sharing, the file is known to be unheld, and it is deleted
// as this very handle closes: nobody can take it in between.
bool removeUnusedFile(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  CloseHandle(handle);
  return true;
}

bool replaceFile(const std::string& from, const std::string& to) {
  for (DWORD waitedMs = 0;; waitedMs += kReplaceRetryMs) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    if (!isInUse(GetLastError()) || waitedMs >= kReplaceWaitMs) return false;
    Sleep(kReplaceRetryMs);
  }
}

// The name goes when the writer's handle closes.
void removeHeldFile(const std::string& path) { DeleteFileA(path.c_str()); }
