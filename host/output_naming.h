#pragma once
#include <string>

// Output path for an input file: the input's base name (folder and last
// extension removed) with `extension` appended, in `outDir` when it is given
// and beside the input otherwise. Both '/' and '\\' separate folders.
std::string outputPathFor(const std::string& inputPath, const std::string& extension,
                          const std::string& outDir);

// Why Windows cannot take the file name (last component) of `path` as it
// is given; empty when it can. Windows names hold none of < > : " | ? * nor
// control characters, lose trailing dots and spaces (so "u.wav " would open
// "u.wav"), and CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices whatever
// extension follows.
std::string fileNameProblem(const std::string& path);
