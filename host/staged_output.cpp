#include "host/staged_output.h"

#include <windows.h>

#include "host/run_identity.h"
#include "host/wide_text.h"
#include "host/windows_paths.h"

namespace {

// The longest name the plug-in's char interface takes (MAX_PATH with its NUL).
const size_t kMaxPluginPathBytes = MAX_PATH - 1;
// Private folders are named "~ph<run name>-<index>".
const wchar_t kStagingPrefix[] = L"~ph";

// Opens `folder` the way its run holds it: without delete sharing, so that
// nobody can remove it, and a removal's own open fails while it is held.
HANDLE claimFolder(const std::wstring& folder) {
  HANDLE handle = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

// True unless the folder can be opened for deletion: held by its run (or
// anything else), or gone meanwhile.
bool isInUse(const std::wstring& folder) {
  HANDLE probe = CreateFileW(folder.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return true;
  CloseHandle(probe);
  return false;
}

// The run name in a private folder's name, or "" when it is none of ours.
std::wstring runNameOfStagingFolder(const std::wstring& name) {
  const size_t prefixLength = sizeof kStagingPrefix / sizeof kStagingPrefix[0] - 1;
  size_t indexDash = name.rfind(L'-');
  if (name.compare(0, prefixLength, kStagingPrefix) != 0 || indexDash == std::wstring::npos ||
      indexDash + 1 == name.size() || name.find_first_not_of(L"0123456789", indexDash + 1) != std::wstring::npos) {
    return std::wstring();
  }
  std::wstring runName = name.substr(prefixLength, indexDash - prefixLength);
  return isRunName(runName) ? runName : std::wstring();
}

std::wstring fileNameOf(const std::wstring& path) {
  size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::wstring extensionOf(const std::wstring& fileName) {
  size_t dot = fileName.rfind(L'.');
  return dot == std::wstring::npos || dot == 0 ? std::wstring() : fileName.substr(dot);
}

std::string systemMessage(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = text != nullptr ? narrowedToUtf8(text) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
    message.pop_back();
  }
  return message.empty() ? "Windows error " + std::to_string(error) : message;
}

// The folder's path in the ANSI code page: as it is, or its short (8.3)
// form when it has other characters or leaves too little room for a name of
// `nameBytes` (the temporary folder lengthens the output's path). False when
// it has no ANSI form at all.
bool ansiFolderPath(const std::wstring& folder, size_t nameBytes, std::string& ansi) {
  std::string direct;
  bool haveDirect = ansiFormOf(folder, direct);
  if (haveDirect && direct.size() + nameBytes <= kMaxPluginPathBytes) {
    ansi = direct;
    return true;
  }
  if (ansiShortPathOf(folder, ansi)) return true;
  ansi = direct;
  return haveDirect;
}

bool moveFile(const std::wstring& from, const std::wstring& to, bool overwrite) {
  return MoveFileExW(from.c_str(), to.c_str(), overwrite ? MOVEFILE_REPLACE_EXISTING : 0) != 0;
}

std::string tooLongReason(size_t length) {
  return "the output path is too long: the plug-in takes at most " + std::to_string(kMaxPluginPathBytes) +
         " characters, this one has " + std::to_string(length);
}

}  // namespace

std::string folderFailureReason(const std::wstring& folder, unsigned long error) {
  std::string name = narrowedToUtf8(folder);
  DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return "the output folder " + name + " does not exist";
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return name + " is not a folder";
  if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) return "disk full: no room in " + name;
  if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT) {
    return "the output folder " + name + " is read-only (or not writable for this user)";
  }
  if (error == ERROR_FILENAME_EXCED_RANGE) return "the path is too long in " + name;
  return systemMessage(DWORD(error)) + " (" + name + ")";
}

bool StagedOutput::prepare(const std::wstring& finalPath, unsigned runIndex, std::string& error) {
  finalFile = finalPath;
  const std::wstring folder = folderOf(finalPath);
  const std::wstring suffix = L"\\" + std::wstring(kStagingPrefix) + thisRunName() + L"-" + std::to_wstring(runIndex);
  if (finalPath.size() > kMaxPluginPathBytes) {
    error = tooLongReason(finalPath.size());
    return false;
  }
  removeLeftoverStagingFolders(folder);
  if (!CreateDirectoryW((folder + suffix).c_str(), nullptr)) {
    error = folderFailureReason(folder, GetLastError());
    return false;
  }
  stagingFolder = folder + suffix;
  claim = claimFolder(stagingFolder);
  if (claim == nullptr) {
    error = folderFailureReason(folder, GetLastError());
    discard();
    return false;
  }
  std::string ansiFolder;
  std::string ansiName;
  stagedName = fileNameOf(finalPath);
  sameName = ansiFormOf(stagedName, ansiName);
  if (!sameName) {
    stagedName = L"untitled" + extensionOf(stagedName);
    ansiFormOf(stagedName, ansiName);
  }
  if (!ansiFolderPath(stagingFolder, ansiName.size() + 1, ansiFolder)) {
    error = "the output folder's name has characters outside the ANSI code page and no short (8.3) name, "
            "so the plug-in cannot be given a path in it";
    discard();
    return false;
  }
  ansiPath = ansiFolder + "\\" + ansiName;
  if (ansiPath.size() > kMaxPluginPathBytes) {
    error = "the output path is too long in plughost's temporary folder (" + std::to_string(ansiPath.size()) +
            " characters, the plug-in takes at most " + std::to_string(kMaxPluginPathBytes) +
            ") and the folder has no short (8.3) name";
    discard();
    return false;
  }
  return true;
}

bool StagedOutput::commit(bool overwrite, std::string& error) {
  const std::wstring staged = stagingFolder + L"\\" + stagedName;
  if (GetFileAttributesW(staged.c_str()) == INVALID_FILE_ATTRIBUTES) {
    error = "the plug-in reported success but wrote no file";
    return false;
  }
  if (!moveFile(staged, finalFile, overwrite)) {
    DWORD code = GetLastError();
    error = code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS
                ? "the output appeared while converting and is kept; nothing was replaced"
                : folderFailureReason(folderOf(finalFile), code);
    return false;
  }
  // Files the engine wrote beside the output ("<name>.pcm") follow it.
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((staged + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return true;
  do {
    const std::wstring name = found.cFileName;
    if (name.size() > stagedName.size()) {
      moveFile(stagingFolder + L"\\" + name, finalFile + name.substr(stagedName.size()), overwrite);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return true;
}

void StagedOutput::discard() {
  if (claim != nullptr) CloseHandle(claim);
  claim = nullptr;
  if (stagingFolder.empty()) return;
  removeStagingFolder(stagingFolder);
  stagingFolder.clear();
}

void removeStagingFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
      const std::wstring file = folder + L"\\" + found.cFileName;
      SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(file.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

void removeLeftoverStagingFolders(const std::wstring& outputFolder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((outputFolder + L"\\" + kStagingPrefix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring runName = runNameOfStagingFolder(found.cFileName);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || runName.empty() || runName == thisRunName()) {
      continue;
    }
    const std::wstring folder = outputFolder + L"\\" + found.cFileName;
    if (!isInUse(folder)) removeStagingFolder(folder);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}
