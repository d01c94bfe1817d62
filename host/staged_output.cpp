#include "host/staged_output.h"

#include <windows.h>

#include "host/run_identity.h"
#include "host/wide_text.h"
#include "host/windows_paths.h"

namespace {

// The longest name the plug-in's char interface takes (MAX_PATH with its NUL).
const size_t kMaxPluginPathBytes = MAX_PATH - 1;
// The engine writes "<output>.partial" and renames it when done (and, for
// tests, "<output>.pcm" beside it): the plug-in's path leaves room for that.
const size_t kEngineSuffixBytes = sizeof ".partial" - 1;
// Private folders are named "~ph<run name>-<index>".
const wchar_t kStagingPrefix[] = L"~ph";
// A replace waits this long for whoever holds the output to let go: another
// run moving its own copy there holds it for a moment.
const DWORD kReplaceWaitMs = 2000;
const DWORD kReplaceRetryMs = 20;

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
// form when it has other characters or leaves too little room for the
// `tailBytes` that follow it in the plug-in's path. False when it has no
// ANSI form at all.
bool ansiFolderPath(const std::wstring& folder, size_t tailBytes, std::string& ansi) {
  std::string direct;
  bool haveDirect = ansiFormOf(folder, direct);
  if (haveDirect && direct.size() + tailBytes <= kMaxPluginPathBytes) {
    ansi = direct;
    return true;
  }
  if (ansiShortPathOf(folder, ansi)) return true;
  ansi = direct;
  return haveDirect;
}

bool isHeldError(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Moves `from` to `to`, waiting a little while `to` is held. Returns 0 or
// the Windows error.
DWORD moveFile(const std::wstring& from, const std::wstring& to, bool overwrite) {
  for (DWORD waitedMs = 0;; waitedMs += kReplaceRetryMs) {
    if (MoveFileExW(from.c_str(), to.c_str(), overwrite ? MOVEFILE_REPLACE_EXISTING : 0)) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    if (!isHeldError(error) || waitedMs >= kReplaceWaitMs) return error;
    Sleep(kReplaceRetryMs);
  }
}

// True when a program holds `file` open: opening it without sharing fails.
bool isOpenElsewhere(const std::wstring& file) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  return handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
}

std::string moveFailureReason(const std::wstring& to, DWORD error) {
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
    return "the output appeared while converting and is kept; nothing was replaced";
  }
  if (isHeldError(error) && isOpenElsewhere(to)) {
    return narrowedToUtf8(to) + " is open in another program, so it cannot be replaced (close it and convert again)";
  }
  return folderFailureReason(folderOf(to), error);
}

std::string tooLongReason(size_t length) {
  return "the output path is too long: the plug-in takes at most " + std::to_string(kMaxPluginPathBytes) +
         " characters, this one has " + std::to_string(length);
}

// The output path fits, but not with what the conversion adds to it.
std::string noRoomReason(size_t length, size_t addedBytes) {
  return "the output path is too long: the plug-in takes at most " + std::to_string(kMaxPluginPathBytes) +
         " characters, and this one (" + std::to_string(length) + ") leaves too little room for plughost's "
         "temporary folder and the engine's temporary name (" + std::to_string(addedBytes) +
         " more); no short (8.3) name or shorter folder on its drive makes room";
}

// The folder above `place` when it is on the same volume as `place`, so a
// file moves from one to the other in one step; "" otherwise.
std::wstring sameVolumeFolderAbove(const std::wstring& place) {
  const std::wstring above = folderOf(place);
  wchar_t placeVolume[MAX_PATH], aboveVolume[MAX_PATH];
  if (above.empty() || !GetVolumePathNameW((place + L"\\").c_str(), placeVolume, MAX_PATH) ||
      !GetVolumePathNameW((above + L"\\").c_str(), aboveVolume, MAX_PATH) ||
      lstrcmpiW(placeVolume, aboveVolume) != 0) {
    return std::wstring();
  }
  return above;
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
  if (finalPath.size() > kMaxPluginPathBytes) {
    error = tooLongReason(finalPath.size());
    return false;
  }
  std::string ansiName;
  stagedName = fileNameOf(finalPath);
  sameName = ansiFormOf(stagedName, ansiName);
  if (!sameName) {
    stagedName = L"untitled" + extensionOf(stagedName);
    ansiFormOf(stagedName, ansiName);
  }
  const std::wstring folderName = kStagingPrefix + thisRunName() + L"-" + std::to_wstring(runIndex);
  const std::wstring outputFolder = folderOf(finalPath);
  // The output folder is the place, unless even its short form cannot give
  // the plug-in a path with room for the engine's temporary name (a deep
  // folder, or one without ANSI or short names): then a folder above it.
  Placement first = Placement::TooLong;
  for (std::wstring place = outputFolder; !place.empty(); place = sameVolumeFolderAbove(place)) {
    DWORD failure = 0;
    const Placement placed = placeIn(place, folderName, ansiName, failure);
    if (placed == Placement::Fits) return true;
    if (place != outputFolder) continue;  // a folder above may be read-only: the next one up may do
    if (placed == Placement::NotCreated && failure != ERROR_FILENAME_EXCED_RANGE) {
      error = folderFailureReason(outputFolder, failure);
      return false;
    }
    first = placed;
  }
  error = first == Placement::NoAnsiPath
              ? "the output folder's name has characters outside the ANSI code page and no short (8.3) name, "
                "so the plug-in cannot be given a path in it"
              : noRoomReason(finalPath.size(), 2 + folderName.size() + kEngineSuffixBytes);
  return false;
}

StagedOutput::Placement StagedOutput::placeIn(const std::wstring& place, const std::wstring& folderName,
                                             const std::string& ansiName, unsigned long& failure) {
  std::string ansiPlace;  // then \<folderName>\<ansiName> and the engine's suffix
  if (!ansiFolderPath(place, 2 + folderName.size() + ansiName.size() + kEngineSuffixBytes, ansiPlace)) {
    return Placement::NoAnsiPath;
  }
  removeLeftoverStagingFolders(place);
  const std::wstring folder = widenedFromAnsi(ansiPlace) + L"\\" + folderName;
  if (!CreateDirectoryW(folder.c_str(), nullptr)) {
    failure = GetLastError();
    return Placement::NotCreated;
  }
  stagingFolder = folder;
  claim = claimFolder(stagingFolder);
  if (claim == nullptr) {
    failure = GetLastError();
    discard();
    return Placement::NotCreated;
  }
  std::string ansiFolder;
  ansiFolderPath(stagingFolder, 1 + ansiName.size() + kEngineSuffixBytes, ansiFolder);  // as the place has one
  ansiPath = ansiFolder + "\\" + ansiName;
  if (ansiPath.size() + kEngineSuffixBytes <= kMaxPluginPathBytes) return Placement::Fits;
  discard();
  return Placement::TooLong;
}

bool StagedOutput::commit(bool overwrite, std::string& error) {
  const std::wstring staged = stagingFolder + L"\\" + stagedName;
  if (GetFileAttributesW(staged.c_str()) == INVALID_FILE_ATTRIBUTES) {
    error = "the plug-in reported success but wrote no file";
    return false;
  }
  const DWORD moveError = moveFile(staged, finalFile, overwrite);
  if (moveError != ERROR_SUCCESS) {
    error = moveFailureReason(finalFile, moveError);
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

void removeLeftoverStagingFolders(const std::wstring& parent) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((parent + L"\\" + kStagingPrefix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring runName = runNameOfStagingFolder(found.cFileName);
    // A live run's folder stays, also in the moment between its creation and
    // its claim, which no open could tell.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || runName.empty() || runName == thisRunName() ||
        !isRunOver(runName)) {
      continue;
    }
    const std::wstring folder = parent + L"\\" + found.cFileName;
    if (!isInUse(folder)) removeStagingFolder(folder);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}
