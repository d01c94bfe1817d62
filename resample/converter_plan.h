#pragma once

#include "resample/pcm_format.h"
#include "resample/sample_rate_converter.h"

// Up-sampling pairs whose FFT filter's rate (q times the output rate) is
// more than this many times the input rate are refused.
constexpr int kMaxUpsamplingRatio = 8192;

// A converter's design and the block sizes that follow from it, or the
// reason it is refused. Worked out from the format and output rate alone,
// designing no filter and allocating nothing, so that asking whether a pair
// is taken costs next to nothing and gives the same answer configure gives.
struct ConverterPlan {
  const char* refusal = nullptr;  // null: the pair is taken (memory permitting)
  ConverterDesign design;         // complete only when the pair is taken
  int rateGcd = 0;
  int fftHop = 0;                // fftLength / 2: the new samples of one FFT block
  int maxBlockOutputFrames = 0;  // most output frames one stage block gives
};

// The plan for converting `input` to `outputRate`; its refusal (one line for
// a user) when the converter does not take them. `fftBaseLength` starts the
// search for the FFT filter's length (16384 in the product).
ConverterPlan planConverter(const PcmFormat& input, int outputRate, int fftBaseLength);
