// Under Wine the stand-in is rmbe3260.dll, loaded through the session's
// import table; its test exports are looked up by name.
#include <windows.h>

#include <vector>

#include "tests/engine/session_test_support.h"

namespace {
FARPROC standinExport(const char* name) {
  HMODULE engine = GetModuleHandleA("rmbe3260.dll");
  return engine ? GetProcAddress(engine, name) : nullptr;
}
template <typename Fn>
Fn exportAs(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(standinExport(name)));
}
}  // namespace

int standinLiveObjects() {
  auto fn = exportAs<int (*)()>("RmbeLiveObjects");
  return fn ? fn() : -1;
}
int standinOverReleases() {
  auto fn = exportAs<int (*)()>("RmbeOverReleases");
  return fn ? fn() : -1;
}
std::string standinReport() {
  auto fn = exportAs<int (*)(char*, int)>("RmbeLeakReport");
  if (!fn) return "rmbe3260.dll is not the stand-in";
  std::vector<char> text(static_cast<size_t>(fn(nullptr, 0)) + 1);
  fn(text.data(), static_cast<int>(text.size()));
  return text.data();
}
