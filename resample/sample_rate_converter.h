#pragma once

// The sample-rate converter's public surface: configure, the reasons for a
// refusal, convertBlock and what configure chose. Everything behind it is
// private to resample/.

#include <cstdint>
#include <memory>
#include <tuple>

#include "resample/pcm_format.h"

// The design configure chose, in numbers: the one record of them. The
// filters follow from it alone (converters with equal designs share one
// copy of them), and srconv --info and tests read it.
//
// The converter runs two filters, in the order of the direction: up-sampling
// runs the polyphase filter, then the FFT filter; down-sampling (equal rates
// included) the FFT filter, then the polyphase filter.
struct ConverterDesign {
  int inputRate = 0;        // Hz
  int outputRate = 0;       // Hz
  bool upsampling = false;  // inputRate < outputRate
  int oversampling = 0;     // q: 1, 2 or 3
  int outputDelay = 0;      // leading output frames dropped (the filters' delay)
  // The long low-pass (170 dB stop band, transition band under 100 Hz),
  // applied by FFT convolution at q times the output rate when up-sampling,
  // q times the input rate when down-sampling.
  int fftRate = 0;    // Hz, its design rate
  int fftTaps = 0;    // odd, at most fftLength / 2
  int fftLength = 0;  // M: the transform length, 32768 times a power of two
  double fftCutoffHz = 0.0;
  // The polyphase filter, designed on the grid of both rates (their least
  // common multiple): an interpolator when up-sampling, a decimator when
  // down-sampling. With q = 1 when down-sampling it is the single tap 1.0.
  int polyphaseRate = 0;  // Hz, its design rate
  int polyphaseTaps = 0;  // odd
  int phases = 0;         // P rows of its table
  int tapsPerPhase = 0;   // T columns
  double polyphaseCutoffHz = 0.0;
  double polyphaseGain = 0.0;

  // Every field above, for comparing designs as a whole. The structured
  // binding must name every field: one added above and not here does not
  // compile, so no field can be left out of the comparison.
  auto fields() const {
    const auto& [in, out, up, q, delay, fftHz, fftN, fftM, fftFc, polyHz, polyN, p, t, polyFc, polyGain] = *this;
    return std::tie(in, out, up, q, delay, fftHz, fftN, fftM, fftFc, polyHz, polyN, p, t, polyFc, polyGain);
  }
};

inline bool operator==(const ConverterDesign& a, const ConverterDesign& b) { return a.fields() == b.fields(); }

class ConversionDriver;

// Band-limited sample-rate converter for interleaved 8/16/24-bit PCM, with
// the two filters of ConverterDesign.
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

  // What configure chose; all zero until a configure succeeded.
  ConverterDesign design() const;
  uint64_t framesIn() const;
  uint64_t framesOut() const;

 private:
  // Tests only: a small FFT base length before configure, holding the
  // shared filters, and counters moved on as if a long stream had gone
  // before (tests/resample/converter_probe.h).
  friend struct ConverterTuning;

  bool refuse(const char* why);  // notes the reason, returns false

  static constexpr int kFftBaseLength = 16384;
  int fftBaseLength = kFftBaseLength;  // where the FFT filter's length search starts

  bool configureCalled = false;
  const char* refusal = nullptr;
  // Made by a successful configure: the stage state, the path of the
  // design's direction and the pending input (convert_driver.h).
  std::unique_ptr<ConversionDriver> driver;
};

// For a library being unloaded: forgets the filters converters of equal
// designs share and frees the lock that guards them, only once no converter
// is left and none can be set up any more. Both are made anew should a
// converter be set up again.
void releaseSharedConverterFilters();
