#include "host/job_scheduler.h"

#include <windows.h>
#include <process.h>

#include <vector>

#include "host/interrupt.h"

namespace {

// One file on a thread of its own.
struct FileJob {
  const FileConversion* convert = nullptr;
  size_t index = 0;
  bool started = false;
  int result = 0;
  FileReport report;
  HANDLE thread = nullptr;
};

unsigned __stdcall runFileJob(void* argument) {
  FileJob& job = *static_cast<FileJob*>(argument);
  job.result = (*job.convert)(job.index, job.report);
  return 0;
}

// Waits for one of the running jobs to end; returns its index in `running`.
size_t waitForAnyJob(const std::vector<FileJob*>& running) {
  std::vector<HANDLE> threads;
  for (const FileJob* job : running) threads.push_back(job->thread);
  DWORD ended = WaitForMultipleObjects(DWORD(threads.size()), threads.data(), FALSE, INFINITE);
  size_t index = ended - WAIT_OBJECT_0;
  return index < running.size() ? index : 0;
}

void finishJob(FileJob& job) {
  WaitForSingleObject(job.thread, INFINITE);
  CloseHandle(job.thread);
  job.thread = nullptr;
}

int convertInParallel(size_t count, uint32_t jobs, const FileConversion& convert, RunTally& tally) {
  std::vector<FileJob> fileJobs(count);
  std::vector<FileJob*> running;
  for (size_t next = 0; (next < count && !interrupted()) || !running.empty();) {
    if (next < count && !interrupted() && running.size() < jobs) {
      FileJob& job = fileJobs[next];
      job.convert = &convert;
      job.index = next;
      job.started = true;
      ++next;
      job.thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, runFileJob, &job, 0, nullptr));
      if (job.thread == nullptr) {
        // No thread to be had: this file runs here, on the calling thread.
        job.result = convert(job.index, job.report);
        continue;
      }
      running.push_back(&job);
      continue;
    }
    size_t ended = waitForAnyJob(running);
    finishJob(*running[ended]);
    running.erase(running.begin() + long(ended));
  }
  int worst = 0;
  for (const FileJob& job : fileJobs) {
    if (job.started) tally.count(job.report.result);
    worst = job.result > worst ? job.result : worst;
  }
  return worst;
}

int convertInTurn(size_t count, const FileConversion& convert, RunTally& tally) {
  int worst = 0;
  for (size_t i = 0; i < count && !interrupted(); ++i) {
    FileReport report;
    int result = convert(i, report);
    tally.count(report.result);
    if (result > worst) worst = result;
  }
  return worst;
}

}  // namespace

int runFileJobs(size_t count, uint32_t jobs, const FileConversion& convert, RunTally& tally) {
  return jobs <= 1 || count <= 1 ? convertInTurn(count, convert, tally)
                                 : convertInParallel(count, jobs, convert, tally);
}
