#include "command_line.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool parseUnsigned(const std::string& text, uint32_t& value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed > 0xFFFFFFFFull) return false;
  value = uint32_t(parsed);
  return true;
}

// Accepts "ZVKRMFreq=22050" and the short form "Freq=22050".
bool parseSetting(const std::string& text, SettingOverride& setting, std::string& error) {
  size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) {
    error = "--set needs NAME=VALUE, got \"" + text + "\"";
    return false;
  }
  std::string name = text.substr(0, equals);
  if (name.compare(0, 5, "ZVKRM") != 0) name = "ZVKRM" + name;
  setting.name = name;
  setting.value = text.substr(equals + 1);
  setting.isText = name == "ZVKRMExt";
  if (setting.isText) {
    if (setting.value.size() > 259) {
      error = "--set ZVKRMExt: the extension is longer than 259 characters";
      return false;
    }
    return true;
  }
  if (!parseUnsigned(setting.value, setting.number)) {
    error = "--set " + name + ": \"" + setting.value + "\" is not a non-negative 32-bit number";
    return false;
  }
  return true;
}

bool takeValue(int argc, const char* const* argv, int& i, std::string& value, std::string& error) {
  if (i + 1 >= argc) {
    error = std::string(argv[i]) + " needs a value";
    return false;
  }
  value = argv[++i];
  return true;
}

bool parseConvertOption(int argc, const char* const* argv, int& i, HostOptions& options,
                        bool& sawBlockOption, std::string& error) {
  std::string arg = argv[i];
  std::string value;
  if (arg == "--plugin") return takeValue(argc, argv, i, options.pluginPath, error);
  if (arg == "--out-dir") return takeValue(argc, argv, i, options.outDir, error);
  if (arg == "--block-bytes" || arg == "--random-blocks") {
    if (sawBlockOption) {
      error = "give one of --block-bytes and --random-blocks, once";
      return false;
    }
    sawBlockOption = true;
    if (!takeValue(argc, argv, i, value, error)) return false;
    if (arg == "--block-bytes") {
      if (!parseUnsigned(value, options.blockBytes) || options.blockBytes == 0) {
        error = "--block-bytes needs a positive number, got \"" + value + "\"";
        return false;
      }
      return true;
    }
    options.randomBlocks = true;
    if (!parseUnsigned(value, options.randomSeed)) {
      error = "--random-blocks needs a seed (a non-negative number), got \"" + value + "\"";
      return false;
    }
    return true;
  }
  if (arg == "--set") {
    if (!takeValue(argc, argv, i, value, error)) return false;
    SettingOverride setting;
    if (!parseSetting(value, setting, error)) return false;
    options.settings.push_back(setting);
    return true;
  }
  if (arg == "--jobs") {
    if (!takeValue(argc, argv, i, value, error)) return false;
    if (!parseUnsigned(value, options.jobs) || options.jobs == 0 || options.jobs > kMaxJobs) {
      error = "--jobs needs a number from 1 to " + std::to_string(kMaxJobs) + ", got \"" + value + "\"";
      return false;
    }
    return true;
  }
  if (arg.size() > 1 && arg[0] == '-') {
    error = "unknown option " + arg;
    return false;
  }
  options.inputs.push_back(arg);
  return true;
}

bool parsePanelOption(int argc, const char* const* argv, int& i, HostOptions& options,
                      std::string& error) {
  std::string arg = argv[i];
  if (arg == "--plugin") return takeValue(argc, argv, i, options.pluginPath, error);
  if (arg == "--screenshot") return takeValue(argc, argv, i, options.screenshotPath, error);
  if (arg == "--set") {
    std::string value;
    if (!takeValue(argc, argv, i, value, error)) return false;
    SettingOverride setting;
    if (!parseSetting(value, setting, error)) return false;
    options.settings.push_back(setting);
    return true;
  }
  error = "unknown panel argument " + arg;
  return false;
}

}  // namespace

bool parseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error) {
  options = HostOptions();
  if (argc < 2) {
    error = "no command given";
    return false;
  }
  std::string command = argv[1];
  if (command == "convert") {
    options.command = HostOptions::Command::Convert;
  } else if (command == "panel") {
    options.command = HostOptions::Command::Panel;
  } else {
    error = "unknown command \"" + command + "\"";
    return false;
  }
  bool sawBlockOption = false;
  for (int i = 2; i < argc; ++i) {
    bool ok = options.command == HostOptions::Command::Convert
                  ? parseConvertOption(argc, argv, i, options, sawBlockOption, error)
                  : parsePanelOption(argc, argv, i, options, error);
    if (!ok) return false;
  }
  if (options.command == HostOptions::Command::Convert && options.inputs.empty()) {
    error = "convert needs at least one INPUT.wav";
    return false;
  }
  return true;
}

const char* hostUsage() {
  return "usage: plughost convert [--plugin PATH] [--block-bytes N | --random-blocks SEED]\n"
         "                        [--set NAME=VALUE ...] [--out-dir DIR] [--jobs N] INPUT.wav ...\n"
         "       plughost panel [--plugin PATH] [--set NAME=VALUE ...] [--screenshot FILE.bmp]\n"
         "--set writes a plug-in setting (ZVKRMFreq, ZVKRMAudioFormat, ZVKRMSurestream,\n"
         "ZVKRMTarget0..7, ZVKRMTitleArtist: numbers; ZVKRMExt: text; the ZVKRM prefix\n"
         "may be left out) before the plug-in is loaded.\n"
         "--jobs converts N files at once (1 to 64, default 1), each on its own thread,\n"
         "through the one loaded plug-in.\n";
}
