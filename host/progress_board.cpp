#include "host/progress_board.h"

#include <io.h>

#include "host/wide_text.h"

namespace {

// Fits an 80-column console without wrapping, which would break the
// carriage-return redraw.
const size_t kLineWidth = 79;

class Hold {
public:
  explicit Hold(CRITICAL_SECTION& section) : section(section) { EnterCriticalSection(&section); }
  ~Hold() { LeaveCriticalSection(&section); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

private:
  CRITICAL_SECTION& section;
};

int percentOf(uint64_t done, uint64_t total) {
  if (total == 0) return 0;
  return int((done > total ? total : done) * 100 / total);
}

}  // namespace

ProgressBoard::ProgressBoard() : visible(_isatty(_fileno(stderr)) != 0) {
  InitializeCriticalSection(&lock);
}

ProgressBoard::~ProgressBoard() {
  clearLine();
  DeleteCriticalSection(&lock);
}

int ProgressBoard::add(const std::string& label, uint64_t totalBytes) {
  Hold hold(lock);
  size_t slot = 0;
  while (slot < entries.size() && entries[slot].running) ++slot;
  if (slot == entries.size()) entries.emplace_back();
  Entry& entry = entries[slot];
  entry.running = true;
  entry.label = label;
  entry.total = totalBytes;
  entry.percent = 0;
  drawLine();
  return int(slot);
}

void ProgressBoard::update(int slot, uint64_t doneBytes) {
  Hold hold(lock);
  Entry& entry = entries[size_t(slot)];
  int percent = percentOf(doneBytes, entry.total);
  if (percent == entry.percent) return;
  entry.percent = percent;
  drawLine();
}

void ProgressBoard::remove(int slot) {
  Hold hold(lock);
  entries[size_t(slot)].running = false;
  drawLine();
}

void ProgressBoard::print(FILE* stream, const std::string& text) {
  Hold hold(lock);
  clearLine();
  writeText(stream, text);
  drawLine();
}

void ProgressBoard::clearLine() {
  if (!visible || drawnLength == 0) return;
  std::fprintf(stderr, "\r%*s\r", int(drawnLength), "");
  std::fflush(stderr);
  drawnLength = 0;
}

void ProgressBoard::drawLine() {
  if (!visible) return;
  std::vector<RunningFile> running;
  for (const Entry& entry : entries) {
    // A file without bytes has no progress to show.
    if (entry.running && entry.total > 0) running.push_back(RunningFile{entry.label, entry.percent});
  }
  std::string line = progressLine(running, kLineWidth);
  const size_t length = line.size();
  // Spaces over whatever the longer line before left behind.
  if (length < drawnLength) line += std::string(drawnLength - length, ' ');
  writeText(stderr, "\r" + line);
  drawnLength = length;
}
