#pragma once
// The stand-in's process-wide state: its configuration, every object it
// ever made, the call counters the fault rules count with, and the call log.
#include <cstdint>
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
  std::vector<StandinObject*> objects;         // every object ever made
  std::map<std::string, int> kindCounters;
};

Globals& globals();

int liveObjectCount();
int overReleaseCount();
// "clean\n", or one line per object still referenced or released too often.
std::string referenceReport();
// Appends one line to the call log, if there is one.
void appendLogLine(const std::string& line);
// Reads the configuration again unless an object is alive.
void reloadConfigIfIdle();

}  // namespace standin
