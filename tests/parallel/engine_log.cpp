#include "tests/parallel/engine_log.h"

#include <cstdlib>
#include <fstream>

namespace {

// One call line: {"iface": "I", "obj": "O", "slot": N, "args": [...],
// "result": R, "engine": "E"[, "note": "T"]}
struct Line {
  std::string iface;
  int slot = -1;
  std::string args;  // the text between the brackets
  std::string engine;
};

// The JSON string value of `key`, unescaped; empty when absent.
std::string stringField(const std::string& text, const std::string& key) {
  const std::string marker = "\"" + key + "\": \"";
  size_t at = text.find(marker);
  if (at == std::string::npos) return std::string();
  std::string value;
  for (size_t i = at + marker.size(); i < text.size() && text[i] != '"'; ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) ++i;
    value += text[i];
  }
  return value;
}

bool parseLine(const std::string& text, Line& line) {
  line.iface = stringField(text, "iface");
  size_t slot = text.find("\"slot\": ");
  size_t args = text.find("\"args\": [");
  size_t result = text.find("], \"result\": ");
  if (line.iface.empty() || slot == std::string::npos || args == std::string::npos || result == std::string::npos)
    return false;
  line.slot = std::atoi(text.c_str() + slot + 8);
  line.args = text.substr(args + 9, result - args - 9);
  line.engine = stringField(text.substr(result), "engine");
  return true;
}

// The one number, or the one JSON string, in an argument list.
int64_t numberArgument(const Line& line) { return std::atoll(line.args.c_str()); }
std::string textArgument(const Line& line) { return stringField("\"a\": " + line.args, "a"); }

struct EngineRecord {
  std::string outputFile;
  EngineSettings settings;
};

void apply(const Line& line, EngineRecord& engine) {
  EngineSettings& settings = engine.settings;
  if (line.iface == "AudioPinProperties" && line.slot == 4) {
    settings.sampleRate = numberArgument(line);
    ++settings.settingCalls;
  } else if (line.iface == "AudioPinProperties" && line.slot == 8) {
    settings.channels = numberArgument(line);
    ++settings.settingCalls;
  } else if (line.iface == "TargetSettings" && line.slot == 9) {
    settings.audioFormat = numberArgument(line);
    ++settings.settingCalls;
  } else if (line.iface == "BuildEngine" && line.slot == 11) {
    settings.multiRate = numberArgument(line);
    ++settings.settingCalls;
  } else if (line.iface == "TargetSettings" && line.slot == 5) {
    settings.audiences.clear();
  } else if (line.iface == "TargetSettings" && line.slot == 3) {
    settings.audiences.push_back(numberArgument(line));
  } else if (line.iface == "ClipProperties" && line.slot == 8) {
    engine.outputFile = textArgument(line);
  }
}

}  // namespace

std::string describe(const EngineSettings& settings) {
  std::string text = "rate " + std::to_string(settings.sampleRate) + ", channels " +
                     std::to_string(settings.channels) + ", format " + std::to_string(settings.audioFormat) +
                     ", multi-rate " + std::to_string(settings.multiRate) + ", audiences {";
  for (size_t i = 0; i < settings.audiences.size(); ++i) {
    text += (i ? "," : "") + std::to_string(settings.audiences[i]);
  }
  return text + "}";
}

std::map<std::string, EngineSettings> settingsByOutputFile(const std::string& logPath) {
  std::vector<EngineRecord> engines;
  std::map<std::string, size_t> current;  // engine name -> its latest record
  std::ifstream in(logPath);
  std::string text;
  while (std::getline(in, text)) {
    Line line;
    if (!parseLine(text, line)) continue;
    if (line.iface == "Library" && line.slot == 0) {
      // RMACreateRMBuildEngine names the engine it made.
      const std::string made = textArgument(line);
      if (made.empty()) continue;
      current[made] = engines.size();
      engines.emplace_back();
      continue;
    }
    auto found = current.find(line.engine);
    if (found != current.end()) apply(line, engines[found->second]);
  }
  std::map<std::string, EngineSettings> byFile;
  for (const EngineRecord& engine : engines) {
    if (!engine.outputFile.empty()) byFile[engine.outputFile] = engine.settings;
  }
  return byFile;
}
