#include "tests/engine/session_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

void setEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

void clearEnvironment(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");
#else
  unsetenv(name);
#endif
}

namespace {

// Reads one call line as the stand-in writes it:
// {"iface": "I", "obj": "O", "slot": N, "args": [...], "result": R[, "note": "T"]}
bool parseCallLine(const std::string& text, LoggedCall& call) {
  const std::string ifaceKey = "{\"iface\": \"", objKey = "\", \"obj\": \"", slotKey = "\", \"slot\": ";
  const std::string argsKey = ", \"args\": [", resultKey = "], \"result\": ", noteKey = ", \"note\": \"";
  if (text.compare(0, ifaceKey.size(), ifaceKey) != 0) return false;
  size_t obj = text.find(objKey);
  size_t slot = text.find(slotKey);
  size_t args = text.find(argsKey);
  size_t result = text.rfind(resultKey);
  if (obj == std::string::npos || slot == std::string::npos || args == std::string::npos ||
      result == std::string::npos || result < args)
    return false;
  call.iface = text.substr(ifaceKey.size(), obj - ifaceKey.size());
  call.object = text.substr(obj + objKey.size(), slot - obj - objKey.size());
  call.slot = std::stoi(text.substr(slot + slotKey.size(), args - slot - slotKey.size()));
  call.args = text.substr(args + argsKey.size(), result - args - argsKey.size());
  call.result = std::stoll(text.substr(result + resultKey.size()));
  size_t note = text.find(noteKey, result);
  if (note != std::string::npos) call.note = text.substr(note + noteKey.size(), text.size() - note - noteKey.size() - 2);
  return true;
}

}  // namespace

std::vector<LoggedCall> readCallLog(const std::string& path) {
  std::vector<LoggedCall> calls;
  std::ifstream in(path);
  std::string text;
  while (std::getline(in, text)) {
    LoggedCall call;
    if (parseCallLine(text, call)) calls.push_back(call);  // skips the exit report
  }
  return calls;
}

std::vector<std::string> callsThrough(const std::vector<LoggedCall>& log, const std::string& iface,
                                      bool withCounting) {
  std::vector<std::string> calls;
  for (const LoggedCall& c : log) {
    if (!iface.empty() && c.iface != iface) continue;
    if (!withCounting && (c.slot == 1 || c.slot == 2) && c.iface != "Library") continue;
    calls.push_back(c.call());
  }
  return calls;
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

void SessionTest::SetUp() {
  const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / ("rmbe_" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  folder = (dir / "").string();
  logPath = (dir / "calls.jsonl").string();
  outputPath = (dir / "Artist - Song Title.rm").string();
  setEnvironment("RMBE_LOG", logPath);
  for (const char* variable : {"RMBE_PCM", "RMBE_PINS", "RMBE_CHUNK_BYTES", "RMBE_FAIL", "RMBE_CODEC"})
    clearEnvironment(variable);
  settings.targetAudiences[0] = 1;
  settings.audioFormat = 2;
  settings.sampleRate = 22050;
  ASSERT_EQ(standinLiveObjects(), 0) << "an earlier test left references: " << standinReport();
}

void SessionTest::TearDown() {
  disposeBuildSession(session);
  EXPECT_EQ(standinLiveObjects(), 0) << standinReport();
  EXPECT_EQ(standinOverReleases(), 0) << standinReport();
  for (const LoggedCall& c : log()) EXPECT_NE(c.note, "released once too often") << c.object;
}

std::string jsonQuoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}
