#include "engine/access_path.h"

namespace {
const char* const kAccessPathNames[] = {"DT_Plugins", "DT_Codecs", "DT_EncSDK", "DT_Common"};
const char* const kComponentSubfolder = "real audio\\";
}  // namespace

std::string pluginFolder(const std::string& modulePath) {
  size_t backslash = modulePath.rfind('\\');
  return backslash == std::string::npos ? modulePath : modulePath.substr(0, backslash + 1);
}

std::string buildAccessPathList(const std::string& modulePath) {
  const std::string folder = pluginFolder(modulePath) + kComponentSubfolder;
  std::string list;
  for (const char* name : kAccessPathNames) {
    list += name;
    list += '=';
    list += folder;
    list += '\0';
  }
  list += '\0';  // the empty entry that ends the list
  return list;
}
