#pragma once
#include <string>

class WavReader;

// Opens an input (its full path) for reading as a WAV file. False, with
// `error` saying why, when it is a folder, a device or a pipe, or a file the
// reader cannot open or refuses. The reader's interface takes char names:
// the path as given in the ANSI code page, or else its short (8.3) name.
bool openInputFile(WavReader& reader, const std::wstring& path, std::string& error);
