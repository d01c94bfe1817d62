#pragma once
#include <windows.h>
// mmsystem.h by name: WIN32_LEAN_AND_MEAN leaves it out of windows.h.
#include <mmsystem.h>
#include <mmreg.h>
#include <cstdint>
#include <string>

#include "plugin/host_interface.h"

// The six exports of an encoder plug-in, resolved by their plain names.
struct PluginExports {
  CreateNewCompressionObjectFunction* createNewCompressionObject = nullptr;
  ANewDataBlockArrivedFunction* aNewDataBlockArrived = nullptr;
  DeleteCompressionObjectFunction* deleteCompressionObject = nullptr;
  GetExtensionYouCreateFunction* getExtensionYouCreate = nullptr;
  ShowConfigBitFunction* showConfigBit = nullptr;
  RemoveConfigBitFunction* removeConfigBit = nullptr;
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
