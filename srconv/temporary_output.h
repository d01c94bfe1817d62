#pragma once

#include <string>

// The output file is written under a temporary name in its own folder and
// renamed to its final name only when complete, so that a failure or an
// interrupt never leaves a partial file under the final name. Until then an
// interrupt removes it (see interrupts.h), and so does the destructor.
//
// What nothing can remove (after kill -9, a crash, a power cut) the next run
// writing the same output does: the temporary is named after its run, the
// process id and start time (process_start.h), so that a later run can tell
// a run that has ended from one that lives. A live run also holds a lock on
// its temporary, which keeps it from runs that cannot see the process (in
// another PID namespace, or on another machine sharing the folder).
class TemporaryOutput {
 public:
  TemporaryOutput() = default;
  ~TemporaryOutput() { discard(); }
  TemporaryOutput(const TemporaryOutput&) = delete;
  TemporaryOutput& operator=(const TemporaryOutput&) = delete;

  // Removes the temporaries of finalPath that ended runs left, then creates
  // "<finalPath>.<process id>-<start>.XXXXXX.part" (empty). False: error
  // says why (an existing finalPath that is not a regular file is refused).
  bool create(const std::string& finalPath, std::string& error);
  const std::string& path() const { return temporaryPath_; }
  // Renames the finished file to its final name. False: error says why.
  bool commit(std::string& error);
  void discard();

 private:
  void release();

  std::string finalPath_;
  std::string temporaryPath_;
  int lockedFile_ = -1;  // the temporary, open and locked while this run writes it
};
