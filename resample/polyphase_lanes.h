#pragma once

#include <cstdint>

// The polyphase stages' inner products for two adjacent channels in four
// AVX2/FMA lanes: built and called only where the block convolution runs
// four lanes (widestFftLanes()).

// The up-sampling interpolator, two taps of both channels at once. Output p is sum_t row_p[t] * x[(frame_p + t) * channels]
// for both channels, row and frame stepping through the polyphase cycle as
// in SampleRateConverter::interpolatePair.
struct PairInterpolation {
  const double* const* rows;  // by phase index
  const int* phaseIndex;      // of each phase of the cycle
  const int* inputStep;       // nonzero: the next output's window starts a frame later
  int cycle;
  int taps;
  const double* x;  // the pair's first channel at frame 0; frames `channels` apart
  int channels;
  int64_t frame;
  int phase;
  int count;
  double* out;  // interleaved pairs, 16-byte aligned
};

// Returns the phase after the last output.
int interpolatePairFourLanes(const PairInterpolation& job);

// The down-sampling decimator, four taps of one channel at once. Output p
// is sum_t row_p[t] * h[window_p + t] for h = h0 and h1, stored at
// out + p * channels (h0's) and the next double (h1's), for every window
// start below `end`; the window and the phase step through the polyphase
// cycle as in SampleRateConverter::decimateHistoryPair.
struct PairDecimation {
  const double* const* rows;  // by phase index
  const int* phaseIndex;      // of each phase
  const int* inputStep;       // window advance after each phase
  int phases;
  int taps;
  const double* h0;
  const double* h1;
  int window;  // start of the first output's window
  int end;
  int phase;  // on return: the phase after the last output
  double* out;
  int channels;
};

// Returns the number of outputs.
int decimatePairFourLanes(PairDecimation& job);
