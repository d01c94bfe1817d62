// The stand-in's objects are linked into the native test program.
#include <vector>

#include "tests/engine/session_test_support.h"
#include "standin-engine/standin_control.h"

int standinLiveObjects() { return RmbeLiveObjects(); }
int standinOverReleases() { return RmbeOverReleases(); }
std::string standinReport() {
  std::vector<char> text(static_cast<size_t>(RmbeLeakReport(nullptr, 0)) + 1);
  RmbeLeakReport(text.data(), static_cast<int>(text.size()));
  return text.data();
}
