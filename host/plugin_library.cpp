#include "plugin_library.h"

namespace {

const char kPluginFileName[] = "rmplugin.dll";

template <typename Function>
bool resolve(HMODULE module, const char* name, Function& function, std::string& error) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (function != nullptr) return true;
  error = std::string("the plug-in does not export ") + name;
  return false;
}

}  // namespace

PluginLibrary::~PluginLibrary() {
  if (module != nullptr) FreeLibrary(module);
}

bool PluginLibrary::load(const std::string& path, std::string& error) {
  std::string fullPath = fullWindowsPath(path);
  // With a full path, LOAD_WITH_ALTERED_SEARCH_PATH searches the plug-in's
  // own folder for its imports (the engine DLL) before anything else.
  module = LoadLibraryExA(fullPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    error = "cannot load the plug-in " + fullPath + " (error " + std::to_string(GetLastError()) +
            "; is the engine DLL beside it?)";
    return false;
  }
  return resolve(module, "CreateNewCompressionObject", functions.createNewCompressionObject, error) &&
         resolve(module, "ANewDataBlockArrived", functions.aNewDataBlockArrived, error) &&
         resolve(module, "DeleteCompressionObject", functions.deleteCompressionObject, error) &&
         resolve(module, "GetExtensionYouCreate", functions.getExtensionYouCreate, error) &&
         resolve(module, "ShowConfigBit", functions.showConfigBit, error) &&
         resolve(module, "RemoveConfigBit", functions.removeConfigBit, error);
}

std::string defaultPluginPath() {
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return kPluginFileName;
  std::string folder(path, length);
  size_t separator = folder.find_last_of("\\/");
  folder = separator == std::string::npos ? std::string() : folder.substr(0, separator + 1);
  return folder + kPluginFileName;
}

std::string fullWindowsPath(const std::string& path) {
  DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::string full(needed, '\0');
  DWORD length = GetFullPathNameA(path.c_str(), needed, &full[0], nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  return full;
}
