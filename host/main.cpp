// plughost: a stand-in for the music converter that loads an encoder
// plug-in and drives it exactly as the converter does.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/cleanup_watchdog.h"
#include "host/command_line.h"
#include "host/convert_command.h"
#include "host/panel_command.h"
#include "host/run_settings.h"
#include "host/wide_text.h"

namespace {

// The command line as UTF-8: the wide form keeps names outside the ANSI
// code page that argv would have turned into '?'.
std::vector<std::string> utf8Arguments() {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(narrowedToUtf8(wide[i]));
  if (wide != nullptr) LocalFree(wide);
  return arguments;
}

}  // namespace

int main() {
  std::vector<std::string> arguments = utf8Arguments();
  if (arguments.size() == 3 && arguments[1] == kCleanupWatchArgument) return runCleanupWatch(arguments[2]);
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  HostOptions options;
  std::string error;
  if (!parseHostOptions(int(argv.size()), argv.data(), options, error)) {
    writeText(stderr, "plughost: " + error + " (plughost help shows the usage)\n");
    return 2;
  }
  switch (options.command) {
    case HostOptions::Command::Help:
      writeText(stdout, hostUsage());
      return 0;
    case HostOptions::Command::Panel:
      return runPanelCommand(options);
    case HostOptions::Command::Settings:
      return runSettingsCommand(options.settings);
    default:
      return runConvertCommand(options);
  }
}
