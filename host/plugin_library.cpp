#include "host/plugin_library.h"

#include <vector>

#include "host/windows_paths.h"
#include "host/wide_text.h"

namespace {

const char kPluginFileName[] = "rmplugin.dll";

template <typename Function>
bool resolve(HMODULE module, const char* name, Function& function, std::string& error) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (function != nullptr) return true;
  error = std::string("it does not export ") + name;
  return false;
}

// Empty when `path` holds a 32-bit Windows DLL; otherwise what it is not.
std::string whyNotAPlugin(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return "there is no plug-in file";
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "it is a folder, not a plug-in DLL"
                                                        : "the plug-in file cannot be read";
  }
  std::vector<unsigned char> head(4096);
  DWORD got = 0;
  ReadFile(file, head.data(), DWORD(head.size()), &got, nullptr);
  CloseHandle(file);
  head.resize(got);
  if (got < 64 || head[0] != 'M' || head[1] != 'Z') return "the plug-in file is not a Windows DLL (no PE image)";
  uint32_t peOffset = uint32_t(head[60]) | uint32_t(head[61]) << 8 | uint32_t(head[62]) << 16 | uint32_t(head[63]) << 24;
  if (peOffset > got - 6 || head[peOffset] != 'P' || head[peOffset + 1] != 'E') {
    return "the plug-in file is not a Windows DLL (no PE image)";
  }
  uint16_t machine = uint16_t(head[peOffset + 4] | head[peOffset + 5] << 8);
  if (machine != IMAGE_FILE_MACHINE_I386) return "the plug-in DLL is not a 32-bit (x86) DLL";
  return std::string();
}

}  // namespace

PluginLibrary::~PluginLibrary() {
  if (module != nullptr) FreeLibrary(module);
}

bool PluginLibrary::load(const std::string& path, std::string& error) {
  std::string fullPath = fullWindowsPath(path);
  std::string notAPlugin = whyNotAPlugin(widened(fullPath));
  if (!notAPlugin.empty()) {
    error = "cannot load the plug-in " + fullPath + ": " + notAPlugin;
    return false;
  }
  // With a full path, LOAD_WITH_ALTERED_SEARCH_PATH searches the plug-in's
  // own folder for its imports (the engine DLL) before anything else.
  module = LoadLibraryExW(widened(fullPath).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    DWORD code = GetLastError();
    error = "cannot load the plug-in " + fullPath +
            (code == ERROR_MOD_NOT_FOUND ? ": a DLL it imports is missing (is the engine DLL rmbe3260.dll beside it?)"
                                         : " (error " + std::to_string(code) + ")");
    return false;
  }
  bool complete = resolve(module, "CreateNewCompressionObject", functions.createNewCompressionObject, error) &&
                  resolve(module, "ANewDataBlockArrived", functions.aNewDataBlockArrived, error) &&
                  resolve(module, "DeleteCompressionObject", functions.deleteCompressionObject, error) &&
                  resolve(module, "GetExtensionYouCreate", functions.getExtensionYouCreate, error) &&
                  resolve(module, "ShowConfigBit", functions.showConfigBit, error) &&
                  resolve(module, "RemoveConfigBit", functions.removeConfigBit, error);
  if (!complete) error = "cannot use the plug-in " + fullPath + ": " + error;
  return complete;
}

std::string defaultPluginPath() {
  wchar_t path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return kPluginFileName;
  std::string folder = narrowedToUtf8(std::wstring(path, length));
  size_t separator = folder.find_last_of("\\/");
  folder = separator == std::string::npos ? std::string() : folder.substr(0, separator + 1);
  return folder + kPluginFileName;
}

// UTF-8 in and out: the wide functions keep every character.
std::string fullWindowsPath(const std::string& path) { return narrowedToUtf8(fullPathOf(widened(path))); }
