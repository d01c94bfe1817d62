#pragma once

#include <cstdint>
#include <memory>

#include "fifo/byte_fifo.h"
#include "resample/pcm_format.h"

struct ConverterPlan;
struct FilterRecipe;
struct LaneKernels;

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
  uint64_t framesIn() const { return framesInCount; }
  uint64_t framesOut() const { return framesOutCount; }

 private:
  // Tests only: a small FFT base length before configure, holding the
  // shared filters, and counters moved on as if a long stream had gone
  // before (tests/resample/converter_probe.h).
  friend struct ConverterTuning;

  using DoubleArray = std::unique_ptr<double[]>;
  using IntArray = std::unique_ptr<int[]>;
  using ByteArray = std::unique_ptr<uint8_t[]>;
  using ChannelArrays = std::unique_ptr<DoubleArray[]>;

  // Views into the filters shared by every converter of the same recipe
  // (converter_filters.h); each keeps those filters alive.
  template <typename T>
  using SharedArray = std::shared_ptr<const T[]>;

  // P rows (phases) of T taps in one contiguous block; row p starts at p * T.
  struct PolyphaseTable {
    SharedArray<const double*> rows;
    const double* row(int phase) const { return rows[phase]; }
  };

  // Where the driver stands in the sequence of stage blocks: the part of
  // the running state that decides how many frames the next block takes.
  struct BlockCursor {
    int inputFill;
    int stage1Position;
    int stuffingOffset;
  };

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
  void adoptPlan(const PcmFormat& input, int rate, const ConverterPlan& plan);
  FilterRecipe recipeOf(const ConverterPlan& plan) const;
  bool makeUpsampling(const ConverterPlan& plan);  // false: out of memory
  bool makeDownsampling(const ConverterPlan& plan);
  bool allocateUpsampling();
  bool allocateDownsampling();
  bool adoptSharedFilters(const FilterRecipe& recipe);
  void releaseBuffers();

  // Stages (upsample_stage.cpp, downsample_stage.cpp); both return the
  // emitted byte count and point outPointer into outputBytes.
  int upsampleBlock(uint8_t*& outPointer, bool endFlag, int framesWanted, int framesRead);
  int downsampleBlock(uint8_t*& outPointer, bool endFlag, int framesRead);
  int interpolateChannel(int channel, int64_t firstFrame);
  int interpolatePair(int channel, int64_t firstFrame);
  int decimateChannel(int channel, int& offsetAfter);
  int decimatePair(int channel, int& offsetAfter);
  void stuffChannel(int channel, int blockFrames);
  int decimateHistory(int channel, int& phaseAfter);
  int decimateHistoryPair(int channel, int& phaseAfter);
  void addBlock(int channel);
  int pickEveryStep(int channel, int& phaseAfter);
  void shiftHistory();
  int emit(uint8_t*& outPointer, int framesMade);  // shared emission rules
  void convolveWithSpectrum(double* block, const double* spectrum, int fftLength);
  void filterPair(int channel, const double* spectrum, int fftLength);
  void stuffPair(int channel, int blockFrames);
  bool allocatePairBlock(int fftLength);
  int stage1ShiftFrames(int position) const;
  int stage1FramesReached(int position) const;
  int stage1AdvancePerBlock() const;
  int nextStuffingOffset(int offset) const;

  // Driver (convert_driver.cpp).
  int framesWanted(const BlockCursor& cursor) const;
  void advanceCursor(BlockCursor& cursor) const;
  BlockCursor currentCursor() const;
  int maxFramesPerBlock() const;
  uint64_t targetFrames(uint64_t inputFrames) const;
  CallPlan planCall(uint64_t callBytes, uint32_t newBytes, bool endFlag) const;
  void copyCallInput(uint8_t* destination, uint64_t offset, uint64_t byteCount) const;
  bool runStageBlocks(uint64_t consumedFrames, bool endFlag, CallResult& result);
  bool runStageBlock(int wanted, int framesRead, bool endFlag, uint64_t& offset, CallResult& result);
  bool appendOutput(CallResult& result, const uint8_t* bytes, int count);

  // Format and ratio.
  ByteFifo pendingInput;
  bool upsampling = false;
  int rateGcd = 0;
  int channels = 0;
  int inputRate = 0;
  int inputBytesPerSample = 0;
  int outputRate = 0;
  int outputBytesPerSample = 0;
  int oversampling = 0;
  int stage1Rate = 0;
  int stage2Rate = 0;
  int stage1Length = 0;
  int stage1TapsPerPhase = 0;
  int stage1Phases = 0;
  int stage2Length = 0;
  int stage2FftLength = 0;
  int stage2TapsPerPhase = 0;
  int stage2Phases = 0;
  int stage1FftLength = 0;
  static constexpr int kFftBaseLength = 16384;
  int fftBaseLength = kFftBaseLength;  // where the FFT filter's length search starts
  int blockFrames = 0;        // most output frames one stage block gives

  // The vector kernels (lane_kernels.h), chosen by configure; the shared
  // filters' records are laid out for the same lanes (widestFftLanes).
  const LaneKernels* kernels = nullptr;

  // FFT tables for the one transform length (shared, read only).
  SharedArray<int> fftBitReversal;
  SharedArray<double> fftCosSin;

  // Polyphase cycle tables (each direction only its own pair).
  IntArray stage1PhaseIndex, stage1InputStep;
  IntArray stage2PhaseIndex, stage2InputStep;

  // Block buffers.
  ByteArray inputBytes;
  ByteArray outputBytes;
  DoubleArray inputSamples;
  DoubleArray outputSamples;
  ChannelArrays overlapTail;       // up-sampling
  ChannelArrays fftBlock;          // both directions
  // Two channels' blocks interleaved (value j of channel c at 2j, of c + 1
  // at 2j + 1) so that one transform filters both; a single channel's
  // transform works in it. 32-byte aligned inside its storage.
  DoubleArray pairBlockStorage;
  double* pairBlock = nullptr;
  ChannelArrays polyphaseHistory;  // down-sampling

  // Filters (shared, read only).
  PolyphaseTable stage1Filter;         // up-sampling
  SharedArray<double> stage2Spectrum;  // up-sampling
  SharedArray<double> stage1Spectrum;  // down-sampling
  PolyphaseTable stage2Filter;         // down-sampling

  // Running state.
  int fftHop = 0;
  int outputDelay = 0;
  int initialOutputDelay = 0;
  int stage1Position = 0;
  int stage1Phase = 0;
  int decimationOffset = 0;
  int polyphasePosition = 0;
  int stage2Phase = 0;
  bool firstOutput = true;
  bool endOfStream = false;
  bool streamFinished = false;  // the emission rules completed the stream
  bool configured = false;
  bool configureCalled = false;
  const char* refusal = nullptr;
  uint64_t framesInCount = 0;
  uint64_t framesOutCount = 0;
  int inputFill = 0;
  int stuffingOffset = 0;

  // Driver: the bytes of the current call (pending, then new) read in place.
  const uint8_t* callPending = nullptr;
  uint64_t callPendingBytes = 0;
  const uint8_t* callData = nullptr;
};
