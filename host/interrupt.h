#pragma once

// Ctrl-C, Ctrl-Break and the console's close, log-off and shutdown events
// ask a run to stop: conversions check interrupted() between blocks, delete
// their plug-in object and remove what they wrote. (Under Wine, SIGINT
// arrives as Ctrl-C; SIGTERM ends the process at once, which the cleanup
// watchdog covers.)
void installInterruptHandler();

bool interrupted();
// 130 after Ctrl-C or Ctrl-Break, 143 after a close or shutdown event (the
// shells' numbers for SIGINT and SIGTERM); 0 when not interrupted.
int interruptExitStatus();
const char* interruptName();

// Tells a close or shutdown event, which ends the process once its handler
// returns, that the cleanup is done.
void interruptCleanupDone();
