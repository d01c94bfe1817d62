#include "srconv/progress_bar.h"

#include <unistd.h>

namespace {
constexpr int kBarWidth = 40;
}

ProgressBar::ProgressBar(std::FILE* stream, uint64_t totalBytes)
    : stream_(stream), totalBytes_(totalBytes), enabled_(totalBytes > 0 && isatty(fileno(stream)) != 0) {}

void ProgressBar::update(uint64_t doneBytes) {
  if (!enabled_) return;
  int percent = totalBytes_ == 0 ? 100 : int(doneBytes * 100 / totalBytes_);
  if (percent > 100) percent = 100;
  if (percent == shownPercent_) return;
  shownPercent_ = percent;
  char bar[kBarWidth + 1];
  int filled = percent * kBarWidth / 100;
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kBarWidth] = '\0';
  std::fprintf(stream_, "\r[%s] %3d%%", bar, percent);
  std::fflush(stream_);
}

void ProgressBar::finish() {
  if (enabled_ && shownPercent_ >= 0) std::fputc('\n', stream_);
  shownPercent_ = -1;
}
