#pragma once

#include <sys/types.h>

#include <cstdint>

// When a live process started, in the system's own units: together with its
// id it names one process for good, where an id alone is handed out again
// once its process has ended.
//
// False when no process has that id, or it has ended (a zombie waiting for
// its parent counts as ended), or the system does not tell.
bool liveProcessStart(pid_t pid, uint64_t& start);
