#pragma once
// Test-only exports of the stand-in engine (C calling convention).
extern "C" {
// Objects that still hold references.
int RmbeLiveObjects(void);
// Releases made on objects whose count was already 0.
int RmbeOverReleases(void);
// Writes the reference report ("clean" or one line per faulty object) into
// buffer (NUL-terminated, cut to size); returns the report's full length.
int RmbeLeakReport(char* buffer, int size);
}
