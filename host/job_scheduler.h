#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

#include "host/file_report.h"

// Converts file `index` of the run, fills its report and returns its result
// (0 converted, 1 failed, 2 refused). Called on the scheduler's threads.
using FileConversion = std::function<int(size_t index, FileReport& report)>;

// Runs `convert` for the files 0 .. count - 1: in turn on the calling thread
// when `jobs` is 1 or there is one file; otherwise `jobs` at a time, each on
// a new thread, as a multi-core converter runs them (every thread start is
// also reported to the plug-in, which reloads its settings then). Starts no
// file once interrupted. Counts each file that ran in `tally`; returns the
// worst result.
int runFileJobs(size_t count, uint32_t jobs, const FileConversion& convert, RunTally& tally);
