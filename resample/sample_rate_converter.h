#pragma once

#include <cstdint>
#include <memory>

#include "fifo/byte_fifo.h"
#include "resample/conversion_path.h"
#include "resample/pcm_format.h"
#include "resample/stage_context.h"

// What configure chose; for srconv --info and tests.
struct ConverterDesign {
  bool upsampling = false;
  int oversampling = 0;   // q: 1, 2 or 3
  int stage1Rate = 0;     // Hz, design rate of the first stage's filter
  int stage2Rate = 0;     // Hz, design rate of the second stage's filter
  int stage1Length = 0;   // taps, odd
  int stage2Length = 0;   // taps, odd
  int tapsPerPhase = 0;   // of the polyphase stage
  int phases = 0;         // of the polyphase stage
  int fftLength = 0;      // M of the FFT stage
  int outputDelay = 0;    // leading output frames dropped (initial value)
};

// Up-sampling pairs whose intermediate rate (q times the output rate) is
// more than this many times the input rate are refused.
constexpr int kMaxUpsamplingRatio = 8192;

// Band-limited sample-rate converter for interleaved 8/16/24-bit PCM, in two
// stages: up-sampling runs a polyphase interpolator to q times the output
// rate, then a long FFT low-pass that keeps every q-th sample; down-sampling
// (equal rates included) zero-stuffs by q and runs the long FFT low-pass, then
// a polyphase decimator. The long filter has a 170 dB stop band and a
// transition band narrower than 100 Hz.
//
// Each direction is a path of its own (upsampling_path.h,
// downsampling_path.h) working in a StageContext that holds what both need;
// this class plans the design, makes the one path it needs and drives it
// block by block.
//
// A stream of F input frames turns into exactly floor(F * out / in) + 2
// output frames. The filters' delay is dropped, up to a constant lag of
// about one output frame (less than 1.3 frames for the supported rates).
class SampleRateConverter {
 public:
  SampleRateConverter();
  ~SampleRateConverter();
  SampleRateConverter(const SampleRateConverter&) = delete;
  SampleRateConverter& operator=(const SampleRateConverter&) = delete;

  // Designs the filters and allocates every buffer. False (nothing kept) for
  // an unsupported format or rate pair, sizes beyond 32-bit ints, memory
  // that cannot be had, or a second call.
  bool configure(const PcmFormat& input, int outputRate);

  // Why the last configure returned false, as one line for a user; null
  // before configure and after one that succeeded. A refusal that only lack
  // of memory caused is kOutOfMemoryReason itself, so callers can tell it
  // apart from an unsupported format or rate pair.
  const char* refusalReason() const { return refusal; }
  static const char* const kOutOfMemoryReason;

  // The reason configure would give for refusing `input` and `outputRate`,
  // or null when it would take them (memory permitting: this never says
  // out of memory). Designs no filter and allocates nothing.
  static const char* refusalFor(const PcmFormat& input, int outputRate);

  // Converts one host block. On entry byteCount is the number of bytes at
  // data (0 allowed); on return the number of bytes in `output` (new[]-
  // allocated, caller delete[]s; nullptr and 0 when nothing was produced).
  // With endOfStream set the stream is finished: the pending frames are
  // converted and the output completed to its full length. Returns false
  // only when memory ran out: output is then null and nothing of this call
  // was taken (the converter is as before; the call may be repeated).
  bool convertBlock(const uint8_t* data, uint32_t& byteCount, bool endOfStream, uint8_t*& output);

  ConverterDesign design() const;
  uint64_t framesIn() const { return stages.framesIn; }
  uint64_t framesOut() const { return stages.framesOut; }

 private:
  // Tests only: a small FFT base length before configure, holding the
  // shared filters, and counters moved on as if a long stream had gone
  // before (tests/resample/converter_probe.h).
  friend struct ConverterTuning;

  // What one convertBlock call will do, worked out before it changes anything.
  struct CallPlan {
    uint64_t consumedFrames;  // frames the call's stage blocks read
    uint64_t resultCapacity;  // bytes, at least what the call emits
    uint64_t leftoverBytes;   // bytes that stay pending after the call
    bool leftoverChanges;     // false: pendingInput stays as it is
  };

  // The output of one convertBlock call, new[]-allocated.
  struct CallResult {
    uint8_t* bytes;
    uint64_t capacity;
    uint64_t length;
  };

  // Set-up (converter_setup.cpp).
  bool refuse(const char* why);  // notes the reason, returns false
  bool makePath();               // false: out of memory

  // Driver (convert_driver.cpp).
  CallPlan planCall(uint64_t callBytes, uint32_t newBytes, bool endFlag) const;
  void copyCallInput(uint8_t* destination, uint64_t offset, uint64_t byteCount) const;
  bool runStageBlocks(uint64_t consumedFrames, bool endFlag, CallResult& result);
  bool runStageBlock(int wanted, int framesRead, bool endFlag, uint64_t& offset, CallResult& result);
  bool appendOutput(CallResult& result, const uint8_t* bytes, int count);

  static constexpr int kFftBaseLength = 16384;
  int fftBaseLength = kFftBaseLength;  // where the FFT filter's length search starts

  // The format, plan, filters, block buffers and emission state, and the
  // path that works in them (up- or down-sampling, made by configure).
  StageContext stages;
  std::unique_ptr<ConversionPath> path;

  ByteFifo pendingInput;
  bool configured = false;
  bool configureCalled = false;
  const char* refusal = nullptr;

  // Driver: the bytes of the current call (pending, then new) read in place.
  const uint8_t* callPending = nullptr;
  uint64_t callPendingBytes = 0;
  const uint8_t* callData = nullptr;
};
