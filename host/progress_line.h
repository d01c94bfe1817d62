#pragma once
#include <cstddef>
#include <string>
#include <vector>

// One file being converted, as the progress display shows it.
struct RunningFile {
  std::string label;  // the input path as given
  int percent = 0;    // 0..100
};

// The progress display's one line (no carriage return) for the files that
// are running, in the order given:
// - one file: "[#########                     ]  30% label", a bar of 30;
// - several: "  30% a.wav |  75% b.wav", each label cut to its base name, the
//   whole at most `width` characters; entries that do not fit are replaced by
//   "+N more" (when even that does not fit, the line is cut).
// No file: the empty text.
std::string progressLine(const std::vector<RunningFile>& files, size_t width);
