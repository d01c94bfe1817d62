// plughost: a stand-in for the music converter that loads an encoder
// plug-in and drives it exactly as the converter does.
#include <cstdio>
#include <string>

#include "command_line.h"
#include "convert_command.h"
#include "panel_command.h"

int main(int argc, char** argv) {
  HostOptions options;
  std::string error;
  if (!parseHostOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "plughost: %s\n%s", error.c_str(), hostUsage());
    return 2;
  }
  if (options.command == HostOptions::Command::Panel) return runPanelCommand(options);
  return runConvertCommand(options);
}
