#pragma once
#include <string>

// What a plughost run leaves in shared places while it works (a temporary
// folder beside each output, a private settings key) is named after the run.
// A process id alone would not do: Wine hands fresh processes the same few
// ids, so a run after a killed one would meet the killed run's leftovers
// under its own names.

// This run's name, "<process id>-<start time>" in hex (the start in ms,
// wrapping every 49 days): no two runs share it, whatever their ids.
const std::wstring& thisRunName();

// True when `text` has the form of a run name.
bool isRunName(const std::wstring& text);

// True only when the run named `runName` is known to be over: no process
// has its id, or the one that has it now ended or started at another time.
// Whatever cannot be told (a process this user may not query) counts as
// running, so that nothing of a live run is ever taken for a leftover.
bool isRunOver(const std::wstring& runName);
