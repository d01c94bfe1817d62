#pragma once
// The list of component folders handed to the engine library's
// SetDLLAccessPath: "DT_Plugins", "DT_Codecs", "DT_EncSDK" and "DT_Common",
// each "NAME=folder" NUL-terminated, then an empty entry. The folder is the
// plug-in library's own folder followed by "real audio\".
#include <string>

// The folder of modulePath: cut after its last backslash (kept); the whole
// path when it has none.
std::string pluginFolder(const std::string& modulePath);

// The whole block, its embedded NULs and the closing double NUL included.
// Sized to fit: a long folder is never cut or overflowed.
std::string buildAccessPathList(const std::string& modulePath);

// Full path of the module's own file (the running program when moduleHandle
// is null); empty when it cannot be read.
std::string moduleFilePath(void* moduleHandle);
