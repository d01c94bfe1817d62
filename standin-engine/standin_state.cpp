#include "standin-engine/standin_state.h"

#include <cstdio>

#include "standin-engine/json_text.h"
#include "standin-engine/standin_object.h"

namespace standin {

Globals& globals() {
  static Globals g;
  return g;
}

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
