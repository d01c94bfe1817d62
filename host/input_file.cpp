#include "host/input_file.h"

#include <windows.h>

#include "host/wide_text.h"
#include "host/windows_paths.h"
#include "wavfile/wav_reader.h"

namespace {

// Opens the input by a name the reader's char interface can take: as given
// in the ANSI code page, or its short (8.3) name.
bool openByAnsiName(WavReader& reader, const std::wstring& path, std::string& error) {
  std::string ansi;
  if (!ansiFormOf(path, ansi) && !ansiShortPathOf(path, ansi)) {
    error = GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES
                ? "cannot open the file (it does not exist or cannot be read)"
                : "the name has characters outside the ANSI code page and no short (8.3) name";
    return false;
  }
  if (!reader.open(ansi.c_str())) {
    error = reader.error();
    return false;
  }
  return true;
}

// True when the input is a file plughost can read as a WAV file; otherwise
// `error` says what it is instead.
bool isReadableFile(const std::wstring& path, std::string& error) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = "it is a folder, not a WAV file";
    return false;
  }
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return true;  // the reader says why it cannot open it
  LARGE_INTEGER size = {};
  char probe = 0;
  DWORD read = 0;
  // A device (/dev/zero under Wine) reports no size yet yields bytes.
  bool device = GetFileType(file) != FILE_TYPE_DISK ||
                (GetFileSizeEx(file, &size) && size.QuadPart == 0 && ReadFile(file, &probe, 1, &read, nullptr) &&
                 read == 1);
  CloseHandle(file);
  if (device) error = "it is a device or pipe, not a file (plughost reads WAV files)";
  return !device;
}

}  // namespace

bool openInputFile(WavReader& reader, const std::wstring& path, std::string& error) {
  return isReadableFile(path, error) && openByAnsiName(reader, path, error);
}
