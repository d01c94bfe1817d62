#include "standin-engine/standin_state.h"

#include <cstdio>

#include "standin-engine/json_text.h"
#include "standin-engine/standin_object.h"

namespace standin {

namespace {

// Made with the library and gone with it (its destructor reports what is
// still referenced). Not a function-local static: its guard would make the
// C++ runtime create a lock that outlives the library once it is unloaded.
Globals theGlobals;

}  // namespace

Globals& globals() { return theGlobals; }

int liveObjectCount() {
  int live = 0;
  for (StandinObject* o : globals().objects) live += o->refs > 0 ? 1 : 0;
  return live;
}

int overReleaseCount() {
  int total = 0;
  for (StandinObject* o : globals().objects) total += static_cast<int>(o->overReleases);
  return total;
}

std::string referenceReport() {
  std::string report;
  for (StandinObject* o : globals().objects) {
    if (o->refs > 0) report += o->name + " still referenced (" + std::to_string(o->refs) + ")\n";
    if (o->overReleases > 0)
      report += o->name + " released " + std::to_string(o->overReleases) + " time(s) too often\n";
  }
  return report.empty() ? "clean\n" : report;
}

namespace {

// Conversions whose shells are kept after their end: a release once too
// often or a call through a released object is still caught while this many
// further conversions end, from any number of threads.
constexpr size_t kFinishedEnginesKept = 16;

bool engineStillReferenced(uint32_t serial) {
  for (StandinObject* o : globals().objects)
    if (o->engineSerial == serial && o->refs > 0) return true;
  return false;
}

// Frees the shells of engine `serial`, but for those released too often.
void freeShells(uint32_t serial) {
  std::vector<StandinObject*> kept;
  for (StandinObject* o : globals().objects) {
    if (o->engineSerial == serial && o->overReleases == 0)
      delete o;
    else
      kept.push_back(o);
  }
  globals().objects.swap(kept);
}

}  // namespace

void noteFinalRelease(const StandinObject& released) {
  if (released.engineSerial == 0 || engineStillReferenced(released.engineSerial)) return;
  Globals& g = globals();
  g.finishedEngines.push_back(released.engineSerial);
  if (g.finishedEngines.size() <= kFinishedEnginesKept) return;
  freeShells(g.finishedEngines.front());
  g.finishedEngines.pop_front();
}

void appendLogLine(const std::string& line) {
  const std::string& path = globals().config.logPath;
  if (path.empty()) return;
  if (FILE* f = std::fopen(path.c_str(), "ab")) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::fputc('\n', f);
    std::fclose(f);
  }
}

Globals::~Globals() {
  const std::string report = referenceReport();
  if (report != "clean\n") std::fprintf(stderr, "rmbe3260 stand-in references at exit:\n%s", report.c_str());
  if (!objects.empty()) appendLogLine("{\"report\": " + jsonString(report) + "}");
  for (StandinObject* o : objects) delete o;
  objects.clear();
}

void reloadConfigIfIdle() {
  if (liveObjectCount() > 0) return;
  Globals& g = globals();
  g.configProblems.clear();
  g.config = readStandinConfig(g.configProblems);
  g.callCounts.clear();
  g.kindCounters.clear();  // names restart for each new engine: Engine1, Pin1, ...
  if (!g.configProblems.empty()) std::fprintf(stderr, "rmbe3260 stand-in: %s\n", g.configProblems.c_str());
}

}  // namespace standin
