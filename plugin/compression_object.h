#pragma once
#include <windows.h>
// mmsystem.h by name: WIN32_LEAN_AND_MEAN leaves it out of windows.h.
#include <mmsystem.h>
#include <mmreg.h>

#include <cstdint>

#include "plugin/acm_format_converter.h"
#include "engine/build_session.h"
#include "fifo/byte_fifo.h"
#include "settings/encoder_settings.h"

class ChannelDownmix;
class SampleRateConverter;

// The creation steps the object takes itself, numbered in the creation
// sequence around the build session's (SessionStep, engine/build_session.h:
// 1 and 3 to 10). failedStep() reports a step of either kind.
enum CreationStep {
  kFileNameStep = 2,          // the output file's name fits the object's buffer
  kResamplerStep = 11,        // the downmix and sample-rate converter for the host's format
  kFormatConverterStep = 12,  // the ACM converter to the engine's format
};

// The encoder for one output file: folds more than two channels down to the
// coded ones, resamples the host's PCM to the chosen rate, halves stereo that
// is coded as mono, converts it to the engine's 16-bit format with ACM, cuts
// it into chunks of whole frames near the engine's preferred size and submits
// them with running time stamps.
//
// The object copies the process-wide settings once, when it is created, and
// uses only that copy afterwards: a settings change during a conversion
// reaches the next conversion, never the running one.
class CompressionObject {
public:
  static const int32_t kOk = 0;
  static const int32_t kFailed = 3;
  // Audio from earlier blocks that a refusing engine may leave waiting
  // before the object gives the file up.
  static const uint32_t kBacklogSeconds = 5;

  explicit CompressionObject(const AcmFunctions& acm = systemAcmFunctions());
  ~CompressionObject();  // teardown: frees everything; completes no file
  CompressionObject(const CompressionObject&) = delete;
  CompressionObject& operator=(const CompressionObject&) = delete;

  // The creation sequence for the file `fileName` (full path, shorter than
  // 260 characters) and the host's input format, with `settings` as the
  // conversion's settings. Returns kOk when the object is ready for blocks,
  // kFailed otherwise (the object then only supports destruction).
  int32_t create(const char* fileName, const WAVEFORMATEX& inputFormat, const EncoderSettings& settings);

  // Runs one host block through the pipeline; endOfStream marks the last,
  // which has the engine complete the file once every byte is delivered.
  // kFailed when the engine refused a chunk (that chunk and everything after
  // it are offered again by the next block, also by a repeated final call);
  // kOk otherwise. The file is given up when memory runs out (the block's
  // audio is lost) or when an engine keeps refusing until more than
  // kBacklogSeconds of audio from earlier blocks waits: this block and every
  // later one report kFailed, nothing more is kept, and the file is not
  // completed.
  int32_t processBlock(const uint8_t* data, uint32_t byteCount, bool endOfStream);

  // What tests look at.
  int failedStep() const { return creationFailedStep; }
  uint32_t elapsedMs() const { return elapsedMsValue; }
  uint32_t pendingBytes() const { return pending.size(); }
  uint32_t chunkBytes() const { return chunkSizeBytes; }
  int codedChannels() const { return codedChannelCount; }
  const EncoderSettings& settings() const { return snapshot; }

private:
  // Creation after the build session: the converter, then the ACM stream.
  int32_t createResampler(const WAVEFORMATEX& inputFormat);
  int32_t createFormatConverter(const WAVEFORMATEX& inputFormat);
  int32_t failCreation(int step);
  uint32_t wholeFrameChunkBytes() const;

  // Block steps.
  bool toEngineFormat(const uint8_t* data, uint32_t byteCount, bool endOfStream, uint8_t*& converted,
                      uint32_t& convertedBytes);
  bool foldChannels(const uint8_t*& data, uint32_t& byteCount, uint8_t*& folded);
  bool resample(const uint8_t* data, uint32_t byteCount, bool endOfStream, uint8_t*& output,
                uint32_t& outputBytes);
  int32_t submitChunks(const uint8_t* converted, uint32_t convertedBytes, bool endOfStream);
  uint32_t timeStampAfter(uint64_t bytes) const;
  int32_t finishFile();
  bool backlogExceeded(uint32_t newBytes) const;
  void abandonFile();
  void keepUnsubmitted(uint8_t* joined, uint32_t offset, uint32_t remaining);

  const AcmFunctions& acm;
  EncoderSettings snapshot;
  ChannelDownmix* downmix = nullptr;  // only for more than two input channels
  SampleRateConverter* resampler = nullptr;
  uint32_t inputBitsPerSample = 0;
  uint32_t inputChannels = 0;
  AcmFormatConverter* formatConverter = nullptr;
  ByteFifo pending;                  // engine-format bytes not yet accepted
  BuildSession session;
  uint32_t chunkSizeBytes = 0;       // the engine's preferred size, cut to whole frames
  uint64_t acceptedBytes = 0;        // engine-format bytes the engine accepted
  uint32_t elapsedMsValue = 0;       // time stamp of the last accepted chunk, ms
  char fileName[260] = {};
  int codedChannelCount = 1;
  WAVEFORMATEX engineFormat = {};    // 16-bit, codedChannels, the snapshot's rate
  WAVEFORMATEX resampledFormat = {}; // the host's width and channels, the snapshot's rate
  int creationFailedStep = 0;
  bool ready = false;                // every creation step succeeded
  bool finished = false;             // the engine was told to complete the file
  bool abandoned = false;            // audio was lost or the engine refused too long; the file is given up
};
