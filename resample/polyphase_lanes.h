#pragma once

#include <cstdint>

// The up-sampling interpolator's inner products for two adjacent channels,
// in four AVX2/FMA lanes (two taps of both channels at once): built and
// called only where the block convolution runs four lanes
// (widestFftLanes()). Output p is sum_t row_p[t] * x[(frame_p + t) * channels]
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
