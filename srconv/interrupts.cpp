#include "srconv/interrupts.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>

namespace {

// Written outside the handler only while the signals are held back.
char fileToRemove[4096];
bool stderrIsTerminal = false;

void say(const char* text) {
  ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

// Only async-signal-safe calls here.
void onInterrupt(int signal) {
  if (fileToRemove[0] != '\0') unlink(fileToRemove);
  if (stderrIsTerminal) say("\n");  // past a progress bar
  say(signal == SIGINT ? "srconv: interrupted (SIGINT)" : signal == SIGTERM ? "srconv: terminated (SIGTERM)"
                                                                            : "srconv: hung up (SIGHUP)");
  say(fileToRemove[0] != '\0' ? ", unfinished output removed\n" : "\n");
  _exit(128 + signal);
}

}  // namespace

void installInterruptHandlers() {
  stderrIsTerminal = isatty(STDERR_FILENO) != 0;
  struct sigaction action = {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal ignored from the start (nohup, a background job) stays ignored.
    struct sigaction inherited;
    if (sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

void removeOnInterrupt(const char* path) {
  InterruptsHeld held;
  if (path == nullptr || std::strlen(path) >= sizeof fileToRemove) path = "";
  std::strcpy(fileToRemove, path);
}

InterruptsHeld::InterruptsHeld() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal);
  sigprocmask(SIG_BLOCK, &set, &previous_);
}

InterruptsHeld::~InterruptsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
