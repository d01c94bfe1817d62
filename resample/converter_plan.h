#pragma once

#include "resample/pcm_format.h"

// The numbers of a converter's design: rates, oversampling, filter and FFT
// lengths, and whether every buffer fits the size budget. Worked out from
// the format and output rate alone, designing no filter and allocating
// nothing, so that asking whether a pair is taken costs next to nothing and
// gives the same answer configure gives.
struct ConverterPlan {
  const char* refusal = nullptr;  // null: the pair is taken (memory permitting)
  bool upsampling = false;
  int oversampling = 0;  // q
  int rateGcd = 0;
  int stage1Rate = 0;  // Hz, design rate of the first stage's filter
  int stage2Rate = 0;  // Hz, design rate of the second stage's filter
  // Polyphase stage (first when up-sampling, second when down-sampling).
  int polyphaseTaps = 0;  // odd; 1 is the single tap 1.0
  int phases = 0;
  int tapsPerPhase = 0;
  double polyphaseCutoffHz = 0.0;
  // FFT stage.
  int fftTaps = 0;
  int fftLength = 0;
  int fftHop = 0;
  double fftCutoffHz = 0.0;
  int blockFrames = 0;  // most output frames one stage block gives
};

// The plan for converting `input` to `outputRate`; its refusal (one line for
// a user) when the converter does not take them. `fftBaseLength` starts the
// search for the FFT filter's length (16384 in the product).
ConverterPlan planConverter(const PcmFormat& input, int outputRate, int fftBaseLength);
