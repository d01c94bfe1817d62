#include "host/output_naming.h"

#include "settings/output_extension.h"

namespace {

size_t lastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

std::string fileNameOf(const std::string& path) {
  size_t separator = lastSeparator(path);
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string shownCharacter(char c) {
  if (c == '\n') return "a line break";
  if (static_cast<unsigned char>(c) < 0x20) return "a control character";
  return std::string("'") + c + "'";
}

bool isReservedDeviceName(std::string stem) {
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

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

std::string fileNameProblem(const std::string& path) {
  const std::string name = fileNameOf(path);
  for (char c : name) {
    // Separators were split off above, so only the name's own characters count.
    if (!allowedInFileName(c)) {
      return "the name holds " + shownCharacter(c) + ", which Windows file names cannot hold; rename the file";
    }
  }
  if (!name.empty() && droppedAtNameEnd(name.back())) {
    return "the name ends in a dot or space, which Windows drops from names (it would read another file); "
           "rename the file";
  }
  const std::string stem = name.substr(0, name.find('.'));
  if (isReservedDeviceName(stem)) {
    return "the name " + stem + " is reserved on Windows (a device name, whatever the extension); rename the file";
  }
  return std::string();
}
