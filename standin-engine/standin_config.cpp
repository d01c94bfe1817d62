#include "standin-engine/standin_config.h"

#include <cctype>
#include <cstdlib>

namespace {

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    std::string item = text.substr(start, comma - start);
    while (!item.empty() && item.front() == ' ') item.erase(item.begin());
    while (!item.empty() && item.back() == ' ') item.pop_back();
    if (!item.empty()) items.push_back(item);
    start = comma + 1;
  }
  return items;
}

bool parseUnsigned(const std::string& text, int base, unsigned long long limit, unsigned long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtoull(text.c_str(), &end, base);
  return end && *end == '\0' && value <= limit && text[0] != '-';
}

bool parseFaultRule(const std::string& item, FaultRule& rule) {
  size_t dot = item.find('.');
  size_t equals = item.find('=');
  if (dot == std::string::npos || equals == std::string::npos || dot == 0 || equals < dot) return false;
  rule.iface = item.substr(0, dot);
  std::string slotPart = item.substr(dot + 1, equals - dot - 1);
  size_t at = slotPart.find('@');
  unsigned long long value = 0;
  if (at != std::string::npos) {
    if (!parseUnsigned(slotPart.substr(at + 1), 10, 0xFFFFFFFFull, value) || value == 0) return false;
    rule.nthCall = static_cast<uint32_t>(value);
    slotPart.resize(at);
  }
  if (!parseUnsigned(slotPart, 10, 1000, value)) return false;
  rule.slot = static_cast<int>(value);
  std::string resultPart = item.substr(equals + 1);
  if (resultPart.size() > 2 && (resultPart.compare(0, 2, "0x") == 0 || resultPart.compare(0, 2, "0X") == 0))
    resultPart = resultPart.substr(2);
  if (!parseUnsigned(resultPart, 16, 0xFFFFFFFFull, value)) return false;
  rule.result = static_cast<int32_t>(static_cast<uint32_t>(value));
  return true;
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

// Flags: set and not "0".
bool environmentFlag(const char* name) {
  const std::string value = environment(name);
  return !value.empty() && value != "0";
}

}  // namespace

bool parseFaultRules(const std::string& text, std::vector<FaultRule>& rules) {
  std::vector<FaultRule> parsed;
  for (const std::string& item : splitList(text)) {
    FaultRule rule;
    if (!parseFaultRule(item, rule)) return false;
    parsed.push_back(rule);
  }
  rules = parsed;
  return true;
}

std::vector<std::string> parsePinList(const std::string& text) {
  if (text == "none") return {};
  return splitList(text);
}

bool parseCodec(const std::string& text, StandinCodec& codec) {
  std::string lower;
  for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "dnet") codec = StandinCodec::Dnet;
  else if (lower == "pcm") codec = StandinCodec::Pcm;
  else return false;
  return true;
}

StandinConfig readStandinConfig(std::string& problems) {
  StandinConfig config;
  config.logPath = environment("RMBE_LOG");
  config.pcmPath = environment("RMBE_PCM");
  config.pcmPerFile = environmentFlag("RMBE_PCM_PER_FILE");
  config.logEngine = environmentFlag("RMBE_LOG_ENGINE");
  if (const char* pins = std::getenv("RMBE_PINS")) config.pinMimeTypes = parsePinList(pins);
  std::string chunk = environment("RMBE_CHUNK_BYTES");
  unsigned long long bytes = 0;
  if (!chunk.empty()) {
    if (parseUnsigned(chunk, 10, 0xFFFFFFFFull, bytes))
      config.chunkBytes = static_cast<uint32_t>(bytes);
    else
      problems += "RMBE_CHUNK_BYTES is not a number; ";
  }
  std::string faults = environment("RMBE_FAIL");
  if (!faults.empty() && !parseFaultRules(faults, config.faults)) problems += "RMBE_FAIL is malformed; ";
  const std::string codec = environment("RMBE_CODEC");
  if (!codec.empty() && !parseCodec(codec, config.codec)) problems += "RMBE_CODEC is neither dnet nor pcm; ";
  return config;
}
