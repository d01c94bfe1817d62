#include "host/output_plan.h"

#include <windows.h>

#include <map>

#include "host/output_naming.h"
#include "host/wide_text.h"
#include "host/windows_paths.h"

namespace {

// Windows compares names without regard to case.
std::wstring comparable(std::wstring path) {
  if (!path.empty()) CharUpperBuffW(&path[0], DWORD(path.size()));
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

// Characters that would make the extension a path, a stream or a device.
bool extensionStaysInFolder(const std::string& extension) {
  for (char c : extension) {
    if (c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 32) return false;
  }
  return extension != "." && extension != "..";
}

bool checkOutDir(const std::string& outDir, std::string& error) {
  if (outDir.empty()) return true;
  DWORD attributes = GetFileAttributesW(fullPathOf(widened(outDir)).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    error = "the output folder " + outDir + " does not exist";
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    error = "the output folder " + outDir + " is not a folder";
    return false;
  }
  return true;
}

bool planOne(const std::string& input, const std::string& extension, const std::string& outDir,
             PlannedOutput& planned, std::string& error) {
  planned.input = input;
  const std::string nameProblem = fileNameProblem(input);
  if (!nameProblem.empty()) {
    error = input + ": " + nameProblem;
    return false;
  }
  planned.inputPath = fullPathOf(widened(input));
  planned.outputPath = fullPathOf(widened(outputPathFor(input, extension, outDir)));
  planned.outputName = narrowedToUtf8(planned.outputPath);
  const std::wstring folder = outDir.empty() ? folderOf(planned.inputPath) : fullPathOf(widened(outDir));
  if (!extensionStaysInFolder(extension) || comparable(folderOf(planned.outputPath)) != comparable(folder)) {
    error = input + ": the extension \"" + extension + "\" would put the output outside " +
            narrowedToUtf8(folder) + " (" + planned.outputName + ")";
    return false;
  }
  return true;
}

// Why two inputs whose full names Windows holds alike cannot both be converted.
std::string alikeInputsReason(const PlannedOutput& first, const PlannedOutput& second) {
  if (first.input == second.input) return second.input + " is given twice; give each input once";
  const std::string both = first.input + " and " + second.input;
  // On a case-sensitive disk the names may be two files, yet their outputs differ in case alone.
  if (areTwoFiles(first.inputPath, second.inputPath)) {
    return both + ": their outputs would share one name (Windows names ignore case)";
  }
  return both + " are the same file; give each input once";
}

}  // namespace

bool planOutputs(const std::vector<std::string>& inputs, const std::string& extension, const std::string& outDir,
                 std::vector<PlannedOutput>& plan, std::string& error) {
  if (!checkOutDir(outDir, error)) return false;
  plan.assign(inputs.size(), PlannedOutput());
  std::map<std::wstring, size_t> inputIndex;
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (!planOne(inputs[i], extension, outDir, plan[i], error)) return false;
    auto earlier = inputIndex.emplace(comparable(plan[i].inputPath), i);
    if (!earlier.second) {
      error = alikeInputsReason(plan[earlier.first->second], plan[i]);
      return false;
    }
  }
  std::map<std::wstring, size_t> outputIndex;
  for (size_t i = 0; i < plan.size(); ++i) {
    const std::wstring key = comparable(plan[i].outputPath);
    auto input = inputIndex.find(key);
    if (input != inputIndex.end()) {
      error = plan[i].input + ": the output would replace the input " + plan[input->second].input +
              " (extension \"" + extension + "\")";
      return false;
    }
    auto earlier = outputIndex.emplace(key, i);
    if (!earlier.second) {
      error = plan[earlier.first->second].input + " and " + plan[i].input + " would both be written to " +
              plan[i].outputName + "; convert them in separate runs or rename one";
      return false;
    }
  }
  return true;
}
