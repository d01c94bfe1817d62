#pragma once
// One build-engine session: drives the engine library to produce one
// RealMedia file. The compression object holds a BuildSession as a field and
// calls the operations below at creation, for every chunk and at teardown.
//
// Every interface field starts empty, is filled only while it is empty, and
// holds one reference of its own. The operations read the settings only
// through the snapshot they are given, never the process-wide record.
#include <cstdint>

#include "engine/build_engine.h"
#include "engine/platform_object.h"

struct EncoderSettings;

// The steps a session's set-up can stop at, numbered as the compression
// object's creation counts them: that creation runs the session and adds
// steps of its own (CreationStep, plugin/compression_object.h).
enum SessionStep {
  kPlatformStep = 1,          // platform object and the engine library's folders
  kEngineStep = 3,            // engine, audio input, options, clip texts, audiences
  kOutputFileStep = 4,        // the output file's name handed to the engine
  kPinPropertiesStep = 6,     // the audio input's properties
  kAudioPropertiesStep = 7,   // their audio interface
  kInputFormatStep = 8,       // channels, rate and sample width; preparation
  kMediaSampleStep = 9,       // the one media sample that carries every chunk
  kChunkSizeStep = 10,        // the audio input's preferred chunk size
};

struct BuildSession {
  PlatformObject* platform = nullptr;
  BuildEngine* engine = nullptr;
  InputPin* audioInput = nullptr;
  ClipProperties* clipProperties = nullptr;
  TargetSettings* targetSettings = nullptr;
  ClassFactory* sampleFactory = nullptr;
  MediaSample* mediaSample = nullptr;
  uint32_t chunkBytes = 0;  // the audio input's preferred chunk size, bytes
  // Makes the platform object; tests replace it to make kPlatformStep fail.
  PlatformObject* (*makePlatform)() = createPlatformObject;
};

// Outcome of startBuildSession: the SessionStep that failed (0 on success)
// and the engine result that ended it (0 on success; kResultFail where the
// failure was not an engine result).
struct BuildStartResult {
  int failedStep = 0;
  int32_t result = kResultOk;
  bool ok() const { return failedStep == 0; }
};

// Sets up the session for the output file fileName (NUL-terminated) with
// codedChannels (1 or 2) channels of 16-bit PCM at settings.sampleRate:
// platform object and engine library folders, engine, audio input, coding
// options, clip metadata, audiences, output file, generator text, input
// format, preparation, media sample and chunk size. Stops at the first failing
// step; the interfaces obtained until then stay in their fields (except after
// a refused sample width, which releases audioInput, sampleFactory and
// mediaSample). A failed session is never resumed, only disposed of.
BuildStartResult startBuildSession(BuildSession& session, const char* fileName, int codedChannels,
                                   const EncoderSettings& settings);

// Hands `bytes` bytes of engine-format PCM to the audio input with the time
// stamp timeMs (the chunk's end time). Returns the pin's result, negative on
// failure; kResultUnexpected without calling the engine when the session is
// not ready (no media sample or no audio input).
int32_t submitChunk(BuildSession& session, const void* chunk, uint32_t bytes, uint32_t timeMs);

// Ends the encoding so that the engine completes the file. Call once.
// Returns the engine's result (negative: the file could not be completed),
// kResultNoEngine without an engine.
int32_t finishBuildSession(BuildSession& session);

// Releases audioInput, sampleFactory and mediaSample, in that order, each if
// present, and empties the fields.
void releaseBuildInterfaces(BuildSession& session);

// Teardown, after finishBuildSession or instead of it (a session released
// without being ended is relied on to leave no output file, see endEncoding
// in build_engine.h): releases every interface still held (media sample,
// factory, audio input, target settings, clip properties and the engine
// last) and deletes the platform object. Safe on a session in any state,
// also one whose set-up failed or never ran; leaves it empty.
void disposeBuildSession(BuildSession& session);
