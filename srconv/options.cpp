#include "srconv/options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

bool parseInteger(const std::string& text, long long low, long long high, long long& value) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

bool parseIntOption(const std::string& name, const std::string& text, long long low, long long high, long long& value,
                    std::string& error) {
  if (parseInteger(text, low, high, value)) return true;
  error = "invalid value '" + text + "' for " + name + " (expected " + std::to_string(low) + ".." +
          std::to_string(high) + ")";
  return false;
}

bool parseBlockList(const std::string& text, std::vector<uint32_t>& sizes, std::string& error) {
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    long long value = 0;
    if (!parseIntOption("--blocks", item, 0, kMaxBlockBytes, value, error)) return false;
    sizes.push_back(uint32_t(value));
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

}  // namespace

const char* usageText() {
  return "usage: srconv --in-rate HZ --out-rate HZ --channels N --bits 8|16|24\n"
         "              [--block-bytes N | --blocks N1,N2,...] [--info] < in.raw > out.raw\n"
         "       srconv IN.wav OUT.wav --out-rate HZ [--block-bytes N] [--info]\n"
         "       srconv --help | -h\n"
         "Raw PCM is interleaved little-endian (8-bit unsigned). WAV input may be PCM\n"
         "(8 to 32 bits), 32- or 64-bit float, A-law or mu-law, in RIFF, RF64 or Wave64,\n"
         "also as a writer to a pipe leaves it; it is converted as 8/16/24-bit PCM (float\n"
         "and 32-bit PCM as 24-bit, float beyond +-1.0 clipped, NaN made silent; A-law\n"
         "and mu-law as 16-bit), which OUT.wav then holds, with the input's speaker\n"
         "layout. IN.wav may be a pipe (/dev/stdin) and - is standard input; such input\n"
         "is read as it comes, so its fmt chunk must precede its data. OUT.wav is\n"
         "written under a temporary name beside it and renamed when complete; - writes\n"
         "to standard output instead (sizes left open on a pipe). --name=value works\n"
         "for every option; -- ends the options. --block-bytes: 1..67108864. --info\n"
         "prints the converter design and frame counts as one JSON line on stderr.\n"
         "Exit status: 0 done, 1 usage or I/O error (disk full, read error), 2 input or\n"
         "rate pair refused, 3 out of memory, 130/143 interrupted (SIGINT/SIGTERM).\n";
}

bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
  std::vector<std::string> positional;
  bool sawBlockBytes = false, sawRawOption = false, optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      options.showHelp = true;
      return true;
    }
    if (arg == "--info") {
      options.printInfo = true;
      continue;
    }
    // --name value or --name=value
    size_t equals = arg.find('=');
    bool inlineValue = arg.compare(0, 2, "--") == 0 && equals != std::string::npos;
    std::string value = inlineValue ? arg.substr(equals + 1) : "";
    if (inlineValue) arg.resize(equals);
    bool takesValue = arg == "--in-rate" || arg == "--out-rate" || arg == "--channels" || arg == "--bits" ||
                      arg == "--block-bytes" || arg == "--blocks";
    if (!takesValue) {
      error = "unknown option " + std::string(argv[i]);
      return false;
    }
    if (!inlineValue) {
      if (i + 1 >= argc) {
        error = "missing value for " + arg;
        return false;
      }
      value = argv[++i];
    }
    long long number = 0;
    if (arg == "--in-rate") {
      if (!parseIntOption(arg, value, 1, INT_MAX, number, error)) return false;
      options.inputRate = int(number);
      sawRawOption = true;
    } else if (arg == "--out-rate") {
      if (!parseIntOption(arg, value, 1, INT_MAX, number, error)) return false;
      options.outputRate = int(number);
    } else if (arg == "--channels") {
      if (!parseIntOption(arg, value, 1, 65535, number, error)) return false;
      options.channels = int(number);
      sawRawOption = true;
    } else if (arg == "--bits") {
      if (!parseIntOption(arg, value, 1, 64, number, error)) return false;
      options.bitsPerSample = int(number);
      sawRawOption = true;
    } else if (arg == "--block-bytes") {
      if (!parseIntOption(arg, value, 1, kMaxBlockBytes, number, error)) return false;
      options.blockBytes = uint32_t(number);
      sawBlockBytes = true;
    } else {  // --blocks
      if (!parseBlockList(value, options.blockList, error)) return false;
      options.useBlockList = true;
      sawRawOption = true;
    }
  }
  if (sawBlockBytes && options.useBlockList) {
    error = "--block-bytes and --blocks exclude each other";
    return false;
  }
  if (options.outputRate == 0) {
    error = "--out-rate is required";
    return false;
  }
  if (positional.size() == 2) {
    if (sawRawOption) {
      error = "WAV mode takes rate, channels and width from the file (--in-rate, --channels, --bits, --blocks not allowed)";
      return false;
    }
    options.wavMode = true;
    options.inputPath = positional[0];
    options.outputPath = positional[1];
    return true;
  }
  if (!positional.empty()) {
    error = "expected either no file arguments (raw PCM on stdin) or IN.wav OUT.wav";
    return false;
  }
  if (options.inputRate == 0 || options.channels == 0 || options.bitsPerSample == 0) {
    error = "raw mode needs --in-rate, --channels and --bits";
    return false;
  }
  return true;
}
