#include "output_naming.h"

namespace {

size_t lastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

}  // namespace

std::string outputPathFor(const std::string& inputPath, const std::string& extension,
                          const std::string& outDir) {
  size_t separator = lastSeparator(inputPath);
  std::string folder = separator == std::string::npos ? "" : inputPath.substr(0, separator + 1);
  std::string fileName = separator == std::string::npos ? inputPath : inputPath.substr(separator + 1);
  size_t dot = fileName.rfind('.');
  // A leading dot (".wav") names a hidden file, not an extension.
  std::string baseName = (dot == std::string::npos || dot == 0) ? fileName : fileName.substr(0, dot);
  if (!outDir.empty()) {
    folder = outDir;
    char last = folder.back();
    if (last != '/' && last != '\\') folder += '\\';
  }
  return folder + baseName + extension;
}
