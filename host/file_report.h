#pragma once
#include <string>
#include <vector>

// What plughost says about each file of a run, one plain line each, and the
// run's tally at the end.
struct FileReport {
  enum class Result { Converted, Skipped, Failed };
  Result result = Result::Failed;
  std::string input;                // as given
  std::string output;               // converted: the file written; skipped: the file that exists
  std::string outcome;              // converted: "44100 Hz 2 ch Stereo Music, 0.500 s"; failed: why
  std::vector<std::string> notes;   // what the user should know of a converted file
  std::string details;              // for --verbose: the plug-in's calls and error codes
};

// "in.wav: converted to in.rm (...)", "in.wav: skipped: in.rm exists (...)"
// or "in.wav: failed, no file written: ...", with a converted file's notes and,
// when verbose, the details.
std::string reportLine(const FileReport& report, bool verbose);

class RunTally {
public:
  void count(FileReport::Result result);
  // "3 files: 1 converted, 1 skipped, 1 failed"
  std::string line() const;

private:
  unsigned converted = 0, skipped = 0, failed = 0;
};
