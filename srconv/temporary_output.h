#pragma once

#include <string>

// The output file is written under a temporary name in its own folder and
// renamed to its final name only when complete, so that a failure or an
// interrupt never leaves a partial file under the final name. Until then an
// interrupt removes it (see interrupts.h), and so does the destructor.
class TemporaryOutput {
 public:
  TemporaryOutput() = default;
  ~TemporaryOutput() { discard(); }
  TemporaryOutput(const TemporaryOutput&) = delete;
  TemporaryOutput& operator=(const TemporaryOutput&) = delete;

  // Creates "<finalPath>.XXXXXX.part" (empty). False: error says why (an
  // existing finalPath that is not a regular file is refused).
  bool create(const std::string& finalPath, std::string& error);
  const std::string& path() const { return temporaryPath_; }
  // Renames the finished file to its final name. False: error says why.
  bool commit(std::string& error);
  void discard();

 private:
  std::string finalPath_;
  std::string temporaryPath_;
};
