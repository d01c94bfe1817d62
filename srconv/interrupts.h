#pragma once

#include <signal.h>

// Ctrl-C (SIGINT), SIGTERM and SIGHUP end srconv at once: the file being
// written, if any, is removed, one line says so on stderr, and the exit
// status is 128 + the signal number (130, 143, 129). Signals that srconv was
// started with ignored stay ignored.
void installInterruptHandlers();

// The file an interrupt removes (a copy is kept; null or "" for none).
void removeOnInterrupt(const char* path);

// Runs with the interrupts held back, so that a signal cannot fall between
// renaming the finished file and forgetting its temporary name.
class InterruptsHeld {
 public:
  InterruptsHeld();
  ~InterruptsHeld();
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  sigset_t previous_;
};
