#pragma once
#include <string>

// Output path for an input file: the input's base name (folder and last
// extension removed) with `extension` appended, in `outDir` when it is given
// and beside the input otherwise. Both '/' and '\\' separate folders.
std::string outputPathFor(const std::string& inputPath, const std::string& extension,
                          const std::string& outDir);
