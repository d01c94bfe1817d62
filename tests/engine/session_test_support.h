#pragma once
// Shared by the session tests, native (stand-in objects linked in) and under
// Wine (rmbe3260.dll, the stand-in, beside the test program).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/build_session.h"
#include "settings/encoder_settings.h"

// The stand-in's test exports, reached whichever way it is linked.
int standinLiveObjects();
int standinOverReleases();
std::string standinReport();

void setEnvironment(const char* name, const std::string& value);
void clearEnvironment(const char* name);

// One line of the stand-in's call log.
struct LoggedCall {
  std::string iface;
  std::string object;
  int slot = -1;
  std::string args;  // the JSON array's contents, as written
  int64_t result = 0;
  std::string note;
  // "Iface.slot(args)", the form the tests compare.
  std::string call() const { return iface + "." + std::to_string(slot) + "(" + args + ")"; }
};

std::vector<LoggedCall> readCallLog(const std::string& path);
// The calls, as call() texts, that came through `iface` (all when empty),
// AddRef and Release left out unless withCounting.
std::vector<std::string> callsThrough(const std::vector<LoggedCall>& log, const std::string& iface,
                                      bool withCounting = false);
std::string readWholeFile(const std::string& path);
bool fileExists(const std::string& path);

// A per-test folder, call log and output file; the stand-in configured by
// environment; checks at the end that every reference was given back.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  BuildStartResult start() { return startBuildSession(session, outputPath.c_str(), codedChannels, settings); }
  std::vector<LoggedCall> log() const { return readCallLog(logPath); }
  // Ends the session as the compression object's teardown does.
  void finishAndDispose() {
    finishBuildSession(session);
    disposeBuildSession(session);
  }

  std::string folder;      // with a trailing separator
  std::string logPath;
  std::string outputPath;  // <folder>Artist - Song Title.rm
  BuildSession session;
  EncoderSettings settings;
  int codedChannels = 1;
};

// s as a JSON string literal, as the stand-in logs texts.
std::string jsonQuoted(const std::string& s);
