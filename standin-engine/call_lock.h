#pragma once
// The one process-wide lock every call into the stand-in holds from start to
// end, so that conversions on several threads never mix log lines, counters
// or files. Recursive: an export opens its call inside its own hold.

namespace standin {

void lockCalls();
void unlockCalls();

class CallHold {
 public:
  CallHold() { lockCalls(); }
  ~CallHold() { unlockCalls(); }
  CallHold(const CallHold&) = delete;
  CallHold& operator=(const CallHold&) = delete;
};

}  // namespace standin
