#pragma once
#include <string>
#include <vector>

// Where each input of a run goes, worked out and checked before anything is
// converted: every output lies inside its folder (--out-dir, or the input's
// own folder) whatever the extension holds, no output replaces an input, and
// no two inputs share an output.
struct PlannedOutput {
  std::string input;         // as given (UTF-8)
  std::wstring inputPath;    // full path
  std::wstring outputPath;   // full path of the final output
  std::string outputName;    // outputPath for messages (UTF-8)
};

// `extension` is the plug-in's (UTF-8). False: the run is refused and
// `error` says why in one line.
bool planOutputs(const std::vector<std::string>& inputs, const std::string& extension, const std::string& outDir,
                 std::vector<PlannedOutput>& plan, std::string& error);
