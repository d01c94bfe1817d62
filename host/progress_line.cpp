#include "host/progress_line.h"

#include <cstdio>

namespace {

const int kBarWidth = 30;
const char kSeparator[] = " | ";

std::string percentText(int percent) {
  char text[8];
  std::snprintf(text, sizeof text, "%3d%%", percent);
  return text;
}

std::string baseName(const std::string& path) {
  size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string barLine(const RunningFile& file) {
  int filled = file.percent * kBarWidth / 100;
  return "[" + std::string(size_t(filled), '#') + std::string(size_t(kBarWidth - filled), ' ') + "] " +
         percentText(file.percent) + " " + file.label;
}

std::string moreText(size_t count) { return "+" + std::to_string(count) + " more"; }

std::string joined(const std::vector<std::string>& entries, size_t from) {
  std::string text;
  for (size_t i = from; i < entries.size(); ++i) text += entries[i];
  return text;
}

}  // namespace

std::string progressLine(const std::vector<RunningFile>& files, size_t width) {
  if (files.empty()) return std::string();
  if (files.size() == 1) return barLine(files.front());
  std::vector<std::string> entries;
  size_t restLength = 0;  // of every entry from the current one on, separators included
  for (size_t i = 0; i < files.size(); ++i) {
    entries.push_back((i == 0 ? "" : kSeparator) + percentText(files[i].percent) + " " + baseName(files[i].label));
    restLength += entries.back().size();
  }
  std::string line;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (line.size() + restLength <= width) return line + joined(entries, i);
    const size_t after = entries.size() - i - 1;
    const size_t withNote = line.size() + entries[i].size() + std::string(kSeparator).size() + moreText(after).size();
    if (withNote > width) {
      line += (i == 0 ? "" : kSeparator) + moreText(entries.size() - i);
      break;
    }
    line += entries[i];
    restLength -= entries[i].size();
  }
  return line.size() > width ? line.substr(0, width) : line;
}
