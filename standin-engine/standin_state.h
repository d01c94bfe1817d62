#pragma once
// The stand-in's process-wide state: its configuration, its live objects and
// the shells of recently finished conversions, the call counters the fault
// rules count with, and the call log.
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "standin-engine/standin_config.h"

namespace standin {

struct StandinObject;

struct Globals {
  ~Globals();
  StandinConfig config;
  std::string configProblems;
  std::map<std::string, uint32_t> callCounts;  // "Iface.slot" -> calls so far
  std::vector<StandinObject*> objects;         // live objects and the shells still kept
  std::map<std::string, int> kindCounters;
  uint32_t enginesMade = 0;                    // never reset: engine serial numbers
  std::deque<uint32_t> finishedEngines;        // whose shells are kept, oldest first
};

Globals& globals();

int liveObjectCount();
int overReleaseCount();
// "clean\n", or one line per object still referenced or released too often.
std::string referenceReport();
// To be called when `released` has lost its last reference: when it was the
// last object of its engine still referenced, that conversion's shells are
// kept from now on, and those of the oldest conversion kept beyond the
// limit are freed.
void noteFinalRelease(const StandinObject& released);
// Appends one line to the call log, if there is one.
void appendLogLine(const std::string& line);
// Reads the configuration again unless an object is alive.
void reloadConfigIfIdle();

}  // namespace standin
