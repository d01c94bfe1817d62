#include "tests/plugin/standin_session.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

const char* const kVariables[] = {"RMBE_LOG", "RMBE_PCM", "RMBE_PINS", "RMBE_CHUNK_BYTES", "RMBE_FAIL", "RMBE_CODEC"};

void setVariable(const char* name, const std::string& value) { _putenv_s(name, value.c_str()); }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The numbers in a log line's "args": [a, b, c] list.
std::vector<long long> numericArgs(const std::string& line) {
  std::vector<long long> values;
  size_t start = line.find("\"args\": [");
  if (start == std::string::npos) return values;
  std::istringstream in(line.substr(start + 9, line.find(']', start) - start - 9));
  std::string item;
  while (std::getline(in, item, ',')) values.push_back(std::atoll(item.c_str()));
  return values;
}

long long resultOf(const std::string& line) {
  size_t at = line.find("\"result\": ");
  return at == std::string::npos ? 0 : std::atoll(line.c_str() + at + 10);
}

bool isCall(const std::string& line, const char* iface, int slot) {
  return line.find(std::string("\"iface\": \"") + iface + "\"") != std::string::npos &&
         line.find("\"slot\": " + std::to_string(slot) + ",") != std::string::npos;
}

}  // namespace

StandinSession::StandinSession() {
  for (const char* name : kVariables) setVariable(name, "");
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  char unique[MAX_PATH] = {};
  GetTempFileNameA(temp, "rmp", 0, unique);  // creates a file; the folder takes its name
  DeleteFileA(unique);
  folder = std::string(unique) + ".d\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  setVariable("RMBE_LOG", folder + "calls.json");
  setVariable("RMBE_PCM", folder + "accepted.pcm");
}

StandinSession::~StandinSession() {
  for (const char* name : kVariables) setVariable(name, "");
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      DeleteFileA((folder + entry.cFileName).c_str());
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

void StandinSession::setChunkBytes(uint32_t bytes) { setVariable("RMBE_CHUNK_BYTES", std::to_string(bytes)); }
void StandinSession::setFaults(const std::string& rules) { setVariable("RMBE_FAIL", rules); }

std::string StandinSession::outputPath(const std::string& baseName) const { return folder + baseName; }

std::vector<uint8_t> StandinSession::acceptedPcm() const {
  std::string bytes = readFile(folder + "accepted.pcm");
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<std::string> StandinSession::logLines() const {
  std::istringstream in(readFile(folder + "calls.json"));
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

size_t StandinSession::logLineCount() const { return logLines().size(); }

std::vector<OfferedChunk> StandinSession::offeredChunks() const {
  std::vector<OfferedChunk> chunks;
  for (const std::string& line : logLines()) {
    if (!isCall(line, "MediaSample", 3)) continue;
    std::vector<long long> args = numericArgs(line);  // bytes, time, flags
    if (args.size() < 2) continue;
    chunks.push_back(OfferedChunk{uint32_t(args[0]), uint32_t(args[1])});
  }
  return chunks;
}

std::vector<uint32_t> StandinSession::acceptedTimeStamps() const {
  std::vector<uint32_t> stamps;
  uint32_t lastOffered = 0;
  for (const std::string& line : logLines()) {
    if (isCall(line, "MediaSample", 3)) {
      std::vector<long long> args = numericArgs(line);
      if (args.size() >= 2) lastOffered = uint32_t(args[1]);
    } else if (isCall(line, "InputPin", 6) && resultOf(line) >= 0) {
      stamps.push_back(lastOffered);
    }
  }
  return stamps;
}

int StandinSession::liveObjects() {
  HMODULE engine = GetModuleHandleA("rmbe3260.dll");
  if (engine == nullptr) return 0;
  auto live = reinterpret_cast<int (*)()>(reinterpret_cast<void*>(GetProcAddress(engine, "RmbeLiveObjects")));
  return live ? live() : -1;
}
