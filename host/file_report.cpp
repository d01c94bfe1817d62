#include "host/file_report.h"

std::string reportLine(const FileReport& report, bool verbose) {
  std::string line = report.input + ": ";
  switch (report.result) {
    case FileReport::Result::Converted:
      line += "converted to " + report.output + " (" + report.outcome + ")";
      break;
    case FileReport::Result::Skipped:
      line += "skipped: " + report.output + " exists (--overwrite replaces it)";
      break;
    case FileReport::Result::Failed:
      line += "failed, no file written: " + report.outcome;
      break;
  }
  if (report.result == FileReport::Result::Converted) {
    for (const std::string& note : report.notes) line += "; " + note;
  }
  if (verbose && !report.details.empty()) line += " [" + report.details + "]";
  return line;
}

void RunTally::count(FileReport::Result result) {
  unsigned& counter = result == FileReport::Result::Converted ? converted
                      : result == FileReport::Result::Skipped ? skipped
                                                              : failed;
  ++counter;
}

std::string RunTally::line() const {
  const unsigned files = converted + skipped + failed;
  return std::to_string(files) + (files == 1 ? " file: " : " files: ") + std::to_string(converted) + " converted, " +
         std::to_string(skipped) + " skipped, " + std::to_string(failed) + " failed";
}
