#include "host/command_line.h"


namespace {

// The arguments after the command, one at a time; "--name=value" is split
// so that it reads like "--name value".
class ArgumentQueue {
public:
  ArgumentQueue(int argc, const char* const* argv) {
    for (int i = 2; i < argc; ++i) arguments.push_back(argv[i]);
  }
  bool done() const { return next >= arguments.size(); }
  std::string take() { return arguments[next++]; }

  // The option's value: the text after '=' or the next argument.
  bool takeValue(const std::string& option, std::string& value, std::string& error) {
    if (inlineValue) {
      value = *inlineValue;
      inlineValue = nullptr;
      return true;
    }
    if (done()) {
      error = option + " needs a value";
      return false;
    }
    value = take();
    return true;
  }

  // Splits "--name=value" into name (returned) and a pending value.
  std::string option(const std::string& argument) {
    inlineValue = nullptr;
    size_t equals = argument.find('=');
    if (argument.compare(0, 2, "--") != 0 || equals == std::string::npos) return argument;
    pendingValue = argument.substr(equals + 1);
    inlineValue = &pendingValue;
    return argument.substr(0, equals);
  }

  // A flag given as "--flag=value" is an error.
  bool flagWithoutValue(const std::string& option, std::string& error) {
    if (inlineValue == nullptr) return true;
    error = option + " takes no value";
    return false;
  }

private:
  std::vector<std::string> arguments;
  size_t next = 0;
  std::string pendingValue;
  const std::string* inlineValue = nullptr;
};

bool parseBlockOption(const std::string& option, const std::string& value, HostOptions& options,
                      std::string& error) {
  if (option == "--block-bytes") {
    if (!parseDecimal(value, options.blockBytes) || options.blockBytes == 0 ||
        options.blockBytes > kMaxBlockBytes) {
      error = "--block-bytes needs a number from 1 to " + std::to_string(kMaxBlockBytes) + ", got \"" + value + "\"";
      return false;
    }
    return true;
  }
  options.randomBlocks = true;
  if (!parseDecimal(value, options.randomSeed)) {
    error = "--random-blocks needs a seed (a number from 0 to 4294967295), got \"" + value + "\"";
    return false;
  }
  return true;
}

bool parseSetOption(ArgumentQueue& queue, HostOptions& options, std::string& error) {
  std::string value;
  if (!queue.takeValue("--set", value, error)) return false;
  SettingOverride setting;
  if (!parseSettingOverride(value, setting, error)) return false;
  options.settings.push_back(setting);
  return true;
}

// One option of `command`; false with `error` for anything unknown.
bool parseOption(const std::string& option, ArgumentQueue& queue, HostOptions& options, bool& sawBlockOption,
                 std::string& error) {
  const HostOptions::Command command = options.command;
  const bool converting = command == HostOptions::Command::Convert;
  if (option == "--set") return parseSetOption(queue, options, error);
  if (option == "--plugin" && command != HostOptions::Command::Settings) {
    return queue.takeValue(option, options.pluginPath, error);
  }
  if (option == "--screenshot" && command == HostOptions::Command::Panel) {
    return queue.takeValue(option, options.screenshotPath, error);
  }
  if (option == "--out-dir" && converting) return queue.takeValue(option, options.outDir, error);
  if (option == "--overwrite" && converting) {
    options.overwrite = true;
    return queue.flagWithoutValue(option, error);
  }
  if (option == "--verbose" && converting) {
    options.verbose = true;
    return queue.flagWithoutValue(option, error);
  }
  if ((option == "--block-bytes" || option == "--random-blocks") && converting) {
    if (sawBlockOption) {
      error = "give one of --block-bytes and --random-blocks, once";
      return false;
    }
    sawBlockOption = true;
    std::string value;
    return queue.takeValue(option, value, error) && parseBlockOption(option, value, options, error);
  }
  if (option == "--jobs" && converting) {
    std::string value;
    if (!queue.takeValue(option, value, error)) return false;
    if (!parseDecimal(value, options.jobs) || options.jobs == 0 || options.jobs > kMaxJobs) {
      error = "--jobs needs a number from 1 to " + std::to_string(kMaxJobs) + ", got \"" + value + "\"";
      return false;
    }
    return true;
  }
  error = "unknown option " + option + " for plughost " +
          (converting ? "convert" : command == HostOptions::Command::Panel ? "panel" : "settings");
  return false;
}

bool isHelp(const std::string& argument) { return argument == "--help" || argument == "-h" || argument == "help"; }

bool parseCommand(const std::string& word, HostOptions& options, std::string& error) {
  if (word == "convert") {
    options.command = HostOptions::Command::Convert;
  } else if (word == "panel") {
    options.command = HostOptions::Command::Panel;
  } else if (word == "settings") {
    options.command = HostOptions::Command::Settings;
  } else {
    error = "unknown command \"" + word + "\"";
    return false;
  }
  return true;
}

}  // namespace

bool parseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error) {
  options = HostOptions();
  if (argc < 2) {
    error = "no command given";
    return false;
  }
  if (isHelp(argv[1])) {
    options.command = HostOptions::Command::Help;
    return true;
  }
  if (!parseCommand(argv[1], options, error)) return false;
  ArgumentQueue queue(argc, argv);
  bool sawBlockOption = false;
  bool optionsEnded = false;
  while (!queue.done()) {
    std::string argument = queue.take();
    if (!optionsEnded && (argument == "--help" || argument == "-h")) {
      options.command = HostOptions::Command::Help;
      return true;
    }
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      if (options.command != HostOptions::Command::Convert) {
        error = "unexpected argument \"" + argument + "\"";
        return false;
      }
      // An empty name would stand for the current folder and name an output ".rm".
      if (argument.empty()) {
        error = "an input name is empty";
        return false;
      }
      options.inputs.push_back(argument);
      continue;
    }
    if (!parseOption(queue.option(argument), queue, options, sawBlockOption, error)) return false;
  }
  if (options.command == HostOptions::Command::Convert && options.inputs.empty()) {
    error = "convert needs at least one INPUT.wav";
    return false;
  }
  return true;
}

std::string hostUsage() {
  return "usage: plughost convert [--plugin PATH] [--block-bytes N | --random-blocks SEED] [--jobs N]\n"
         "                        [--set NAME=VALUE ...] [--out-dir DIR] [--overwrite] [--verbose]\n"
         "                        [--] INPUT.wav ...\n"
         "       plughost settings [--set NAME=VALUE ...]\n"
         "       plughost panel [--plugin PATH] [--set NAME=VALUE ...] [--screenshot FILE.bmp]\n"
         "       plughost help | --help | -h\n"
         "convert: one output per input, named after it, in --out-dir or beside the input;\n"
         "  a line per file says whether it was converted, skipped or failed and why, and a\n"
         "  last line counts them (--verbose adds the plug-in's calls and error codes).\n"
         "  An existing output is skipped unless --overwrite is given; two inputs with the\n"
         "  same output name refuse the run. --jobs converts N files at once (1 to 64).\n"
         "  --block-bytes: 1 to 67108864. Ctrl-C stops the run and removes unfinished outputs.\n"
         "--set NAME=VALUE applies a plug-in setting to this run only; the stored settings\n"
         "  stay as they are. Names (the ZVKRM prefix may be left out) and values:\n" +
         settingsListing("    ") +
         "settings: shows the settings the plug-in uses and any stored value it ignores;\n"
         "  with --set, stores the values first.\n"
         "Options also take the form --name=value; -- ends the options.\n"
         "Exit status: 0 done, 1 a conversion failed, 2 refused, 130 interrupted, 143 terminated.\n";
}
