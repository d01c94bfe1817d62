// Writes one RealMedia file through the session and the engine library:
// one second of a 441 Hz tone, mono, 22050 Hz, in the engine's chunks.
//   write_demo_file OUTPUT_PATH
// Exit status 0 when the session ran through and every reference came back.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/build_session.h"
#include "settings/encoder_settings.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_demo_file OUTPUT_PATH\n");
    return 2;
  }
  EncoderSettings settings;
  settings.targetAudiences[0] = 1;
  settings.sampleRate = 22050;
  BuildSession session;
  BuildStartResult started = startBuildSession(session, argv[1], 1, settings);
  if (!started.ok()) {
    std::fprintf(stderr, "set-up failed at step %d (0x%08lx)\n", started.failedStep,
                 static_cast<unsigned long>(static_cast<uint32_t>(started.result)));
    disposeBuildSession(session);
    return 1;
  }
  std::vector<int16_t> tone(22050);
  for (size_t i = 0; i < tone.size(); ++i)
    tone[i] = static_cast<int16_t>(8000 * std::sin(2 * 3.14159265358979 * 441.0 * double(i) / 22050.0));
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(tone.data());
  const uint32_t total = static_cast<uint32_t>(tone.size() * 2);
  uint32_t elapsedMs = 0;
  int status = 0;
  for (uint32_t done = 0; done < total;) {
    uint32_t n = std::min(session.chunkBytes, total - done);
    elapsedMs += n * 1000 / (22050 * 2);
    if (submitChunk(session, bytes + done, n, elapsedMs) < 0) status = 1;
    done += n;
  }
  finishBuildSession(session);
  disposeBuildSession(session);
  return status;
}
