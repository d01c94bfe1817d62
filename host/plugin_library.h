#pragma once
#include <windows.h>
// mmsystem.h by name: WIN32_LEAN_AND_MEAN leaves it out of windows.h.
#include <mmsystem.h>
#include <mmreg.h>
#include <cstdint>
#include <string>

// The six exports of an encoder plug-in, declared as the host declares them:
// undecorated names, C calling convention.
struct PluginExports {
  void*(__cdecl* createNewCompressionObject)(const char* fileName, int32_t* errorCode,
                                             const WAVEFORMATEX* inputFormat) = nullptr;
  int32_t(__cdecl* aNewDataBlockArrived)(void* object, const uint8_t* data, uint32_t byteCount,
                                         int32_t endOfStream, int32_t* errorCode) = nullptr;
  void(__cdecl* deleteCompressionObject)(void* object) = nullptr;
  char*(__cdecl* getExtensionYouCreate)(char* buffer) = nullptr;
  BOOL(__cdecl* showConfigBit)(HWND parent) = nullptr;
  void(__cdecl* removeConfigBit)() = nullptr;
};

// Loads a plug-in DLL so that DLLs beside it (the build engine) are found
// first, and resolves its exports.
class PluginLibrary {
public:
  PluginLibrary() = default;
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // False: `error` says which file or export is missing.
  bool load(const std::string& path, std::string& error);
  const PluginExports& exports() const { return functions; }

private:
  HMODULE module = nullptr;
  PluginExports functions;
};

// The plug-in DLL beside the running executable.
std::string defaultPluginPath();
// Absolute Windows form of a path (Wine maps "/tmp/x" to "Z:\tmp\x").
std::string fullWindowsPath(const std::string& path);
