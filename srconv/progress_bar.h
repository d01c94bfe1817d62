#pragma once

#include <cstdint>
#include <cstdio>

// A one-line progress bar redrawn in place on a terminal; silent when the
// stream is not a terminal or the total is not known (0).
class ProgressBar {
 public:
  ProgressBar(std::FILE* stream, uint64_t totalBytes);
  void update(uint64_t doneBytes);
  // Ends the line (only if anything was drawn).
  void finish();

 private:
  std::FILE* stream_;
  uint64_t totalBytes_;
  bool enabled_;
  int shownPercent_ = -1;
};
