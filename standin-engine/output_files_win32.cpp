#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "output_files.h"

// No delete sharing: while a session holds its file, no other can remove it.
FILE* createNewFile(const std::string& path, bool& nameTaken) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  nameTaken = handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS;
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(handle);
    DeleteFileA(path.c_str());
    return nullptr;
  }
  FILE* file = _fdopen(descriptor, "w+b");
  if (!file) {
    _close(descriptor);
    DeleteFileA(path.c_str());
  }
  return file;
}

// Windows refuses to delete a file that another handle holds without delete
// sharing, which is how every live session holds its own.
bool removeUnusedFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool replaceFile(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}
