#pragma once
// One lock around every ACM stream open and close in the process.
//
// Wine's ACM keeps each driver's list of open instances without a lock of its
// own: an open racing a close on another thread can leave a freed entry
// linked, and the library's clean-up at unload then spins on that entry
// forever or crashes. Opening and closing a stream are the only stream calls
// that touch those lists; the others (size, header prepare and unprepare,
// convert) message the stream's own driver instance only, and so run
// unlocked, on any number of streams at once.
//
// An open may load a codec with the lock held, which takes the loader lock:
// nothing may take this lock while holding the loader lock (the library
// entry never does).

// Makes the lock, once, before any converter exists (the library's process
// attach; test programs that link the converter open it before main). False
// when Windows had no memory for it.
bool openAcmStreamLock();
// Frees it once no converter can exist any more (library unload).
void closeAcmStreamLock();

// Holds the lock for its scope.
class AcmStreamLock {
public:
  AcmStreamLock();
  ~AcmStreamLock();
  AcmStreamLock(const AcmStreamLock&) = delete;
  AcmStreamLock& operator=(const AcmStreamLock&) = delete;
};
