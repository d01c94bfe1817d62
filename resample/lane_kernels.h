#pragma once

#include <cstdint>

#include "resample/fft_convolution.h"

// The converter's vector kernels for one width of lanes, written once over
// the lane types (fft_lanes.h) and built once per instruction set: two lanes
// (SSE2) in every build, four (AVX2 and FMA) where the build includes them.
// A converter takes one table when it is configured and calls only through it.

// The up-sampling interpolator for two adjacent channels: output p is
// sum_t row_p[t] * x[(frame_p + t) * channels] for both channels, row and
// frame stepping through the polyphase cycle.
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
  double* out;  // interleaved pairs
};

// The down-sampling decimator for two channels: output p is
// sum_t row_p[t] * h[window_p + t] for h = h0 and h1, stored at
// out + p * channels (h0's) and the next double (h1's), for every window
// start below `end`; the window and the phase step through the polyphase
// cycle.
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

struct LaneKernels {
  FftLanes lanes;  // the record order the convolution filter needs (makeConvolutionFilter)

  // Fast convolution (fft_convolution.h). One channel: block (n values) is
  // replaced by the filtered block; only its lower half is read, the upper
  // half counts as zero; work: 2n doubles, 32-byte aligned.
  void (*convolveBlock)(int n, double* block, double* work, const double* filter, const int* ip, const double* w);
  // Two channels interleaved in pair (2n doubles, value j of the first at
  // 2j, of the second at 2j + 1; 32-byte aligned; used as work area): the
  // filtered blocks go to first and second (n doubles each). Only the
  // blocks' lower halves (the first n doubles of pair) are read: the upper
  // halves count as zero whatever pair holds there.
  void (*convolveBlockPair)(int n, double* pair, const double* filter, const int* ip, const double* w,
                            double* first, double* second);

  // Returns the phase after the last output.
  int (*interpolatePair)(const PairInterpolation& job);
  // Returns the number of outputs.
  int (*decimatePair)(PairDecimation& job);
};

// The kernels of a width; kFour only where widestFftLanes() may return it.
const LaneKernels& laneKernels(FftLanes lanes);

// Each instruction set's table (lane_kernels_two.cpp, lane_kernels_four.cpp).
const LaneKernels& twoLaneKernels();
const LaneKernels& fourLaneKernels();
