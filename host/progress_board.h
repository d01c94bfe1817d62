#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/progress_line.h"

// The progress display on stderr, shared by every conversion thread: one
// line, redrawn in place, that shows every running file (progress_line.h).
// Text that conversions print goes through it, so that it never lands in
// the middle of the progress line. Nothing is drawn unless stderr is a
// terminal. All members may be called from any thread.
class ProgressBoard {
public:
  ProgressBoard();
  ~ProgressBoard();
  ProgressBoard(const ProgressBoard&) = delete;
  ProgressBoard& operator=(const ProgressBoard&) = delete;

  // A file starts: its label and the bytes it will send. Returns its slot.
  int add(const std::string& label, uint64_t totalBytes);
  // Redraws when the file's percentage changed.
  void update(int slot, uint64_t doneBytes);
  void remove(int slot);
  // Writes `text` to `stream` (flushed) with the progress line out of the way.
  void print(FILE* stream, const std::string& text);

private:
  struct Entry {
    bool running = false;
    std::string label;
    uint64_t total = 0;
    int percent = 0;
  };
  void clearLine();
  void drawLine();

  CRITICAL_SECTION lock;
  bool visible;
  std::vector<Entry> entries;
  size_t drawnLength = 0;  // characters of the line now on screen
};
