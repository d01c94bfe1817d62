#include "session_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

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

std::vector<LoggedCall> readCallLog(const std::string& path) {
  static const std::regex line(
      R"re(^\{"iface": "([^"]*)", "obj": "([^"]*)", "slot": (\d+), "args": \[(.*)\], "result": (-?\d+)(, "note": "(.*)")?\}$)re");
  std::vector<LoggedCall> calls;
  std::ifstream in(path);
  std::string text;
  while (std::getline(in, text)) {
    std::smatch m;
    if (!std::regex_match(text, m, line)) continue;  // the exit report
    LoggedCall call;
    call.iface = m[1];
    call.object = m[2];
    call.slot = std::stoi(m[3]);
    call.args = m[4];
    call.result = std::stoll(m[5]);
    call.note = m[7];
    calls.push_back(call);
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
  for (const char* variable : {"RMBE_PCM", "RMBE_PINS", "RMBE_CHUNK_BYTES", "RMBE_FAIL"})
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
