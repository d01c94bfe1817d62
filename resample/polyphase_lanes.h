#pragma once

// The polyphase stages' inner products for two adjacent channels
// (lane_kernels.h), written once for a lane type V (fft_lanes.h) and
// included by one file per instruction set, which chooses how many outputs
// run at once (independent sums, as many as its registers hold).
//
// Each output's sums are taken tap by tap from t = 0 in the lanes, so the
// result does not depend on how many outputs run together.

#include <cstdint>

#include "resample/fft_lanes.h"
#include "resample/lane_kernels.h"

namespace {

// Frames from the first output's window to output i's, when bit j of
// `steps` says that output j + 1 starts a frame after output j.
constexpr int framesBefore(int steps, int i) {
  return i == 0 ? 0 : ((steps >> (i - 1)) & 1) + framesBefore(steps, i - 1);
}

// `Outputs` interpolator outputs whose rows and windows are given: V holds
// kLanes / 2 taps of both channels; the lanes of each channel are added at
// the end, and taps beyond the last whole vector follow in a Pair. With
// Steps >= 0 (a channel pair's adjacent frames only) the windows lie
// framesBefore(Steps, i) frames after the first, so one pointer with fixed
// offsets reads all of them (32-bit x86 has too few registers for four).
template <typename V, int Outputs, bool Adjacent, int Steps = -1>
inline void interpolateOutputs(const double* const* row, const double* const* window, int taps, int channels,
                               double* out) {
  static_assert(Outputs >= 1 && Outputs <= 4, "up to four sums");
  static_assert(Steps < 0 || Adjacent, "fixed offsets need the frames of a pair");
  constexpr int kTaps = lanes::kLanes<V> / 2;
  // Named sums, not an array: GCC keeps an array of vectors in memory on
  // 32-bit x86 and stores every sum at every step.
  V sum0(0.0), sum1(0.0), sum2(0.0), sum3(0.0);
  const double* const first = window[0];
  auto windowOf = [&](int i) { return Steps < 0 ? window[i] : first + 2 * framesBefore(Steps, i); };
  auto forEachOutput = [&](auto step) {
    step(row[0], windowOf(0), sum0);
    if constexpr (Outputs > 1) step(row[1], windowOf(1), sum1);
    if constexpr (Outputs > 2) step(row[2], windowOf(2), sum2);
    if constexpr (Outputs > 3) step(row[3], windowOf(3), sum3);
  };
  int t = 0;
  if constexpr (kTaps == 1) {
    // One tap per vector: two taps of a row come in one load and are
    // spread apart, which halves the loads of rows (and of the row
    // pointers, which 32-bit x86 keeps on the stack).
    for (; t + 2 <= taps; t += 2) {
      forEachOutput([&](const double* r, const double* w, V& sum) {
        const lanes::Pair both = lanes::loadPair(r + t);
        sum = lanes::mulAdd(lanes::firstLanes(both, both), lanes::loadFrames<V>(w, t, channels, Adjacent), sum);
        sum = lanes::mulAdd(lanes::secondLanes(both, both), lanes::loadFrames<V>(w, t + 1, channels, Adjacent), sum);
      });
    }
  }
  for (; t + kTaps <= taps; t += kTaps) {
    forEachOutput([&](const double* r, const double* w, V& sum) {
      sum = lanes::mulAdd(lanes::spreadTaps<V>(r + t), lanes::loadFrames<V>(w, t, channels, Adjacent), sum);
    });
  }
  const V sums[4] = {sum0, sum1, sum2, sum3};
  for (int i = 0; i < Outputs; ++i) {
    lanes::Pair total = lanes::foldToPair(sums[i]);
    for (int r = t; r < taps; ++r) {
      total = lanes::mulAdd(lanes::Pair(row[i][r]), lanes::loadPair(window[i] + int64_t(r) * channels), total);
    }
    lanes::storePair(out + 2 * i, total);
  }
}

template <typename V, int Outputs, bool Adjacent>
int interpolateInLanes(const PairInterpolation& job) {
  int64_t frame = job.frame;
  int phase = job.phase;
  // Takes the row and window of the next output and moves on.
  auto next = [&](const double*& row, const double*& window) {
    row = job.rows[job.phaseIndex[phase]];
    window = job.x + frame * job.channels;
    frame += job.inputStep[phase] != 0 ? 1 : 0;  // no branch: the pattern is too long to predict
    if (++phase == job.cycle) phase = 0;
  };
  int p = 0;
  for (; p + Outputs <= job.count; p += Outputs) {
    const double* row[Outputs];
    const double* window[Outputs];
    for (int i = 0; i < Outputs; ++i) next(row[i], window[i]);
    double* out = job.out + 2 * p;
    // Four lanes only: with two, the pattern of steps is mispredicted often
    // enough to cost more than the registers save (13 % more time at 10 taps).
    if constexpr (Adjacent && Outputs == 4 && lanes::kLanes<V> == 4) {
      int steps = 0;
      for (int i = 1; i < 4; ++i) steps |= (window[i] != window[i - 1] ? 1 : 0) << (i - 1);
      switch (steps) {
        case 0: interpolateOutputs<V, 4, true, 0>(row, window, job.taps, 2, out); break;
        case 1: interpolateOutputs<V, 4, true, 1>(row, window, job.taps, 2, out); break;
        case 2: interpolateOutputs<V, 4, true, 2>(row, window, job.taps, 2, out); break;
        case 3: interpolateOutputs<V, 4, true, 3>(row, window, job.taps, 2, out); break;
        case 4: interpolateOutputs<V, 4, true, 4>(row, window, job.taps, 2, out); break;
        case 5: interpolateOutputs<V, 4, true, 5>(row, window, job.taps, 2, out); break;
        case 6: interpolateOutputs<V, 4, true, 6>(row, window, job.taps, 2, out); break;
        default: interpolateOutputs<V, 4, true, 7>(row, window, job.taps, 2, out); break;
      }
    } else {
      interpolateOutputs<V, Outputs, Adjacent>(row, window, job.taps, job.channels, out);
    }
  }
  for (; p < job.count; ++p) {
    const double* row[1];
    const double* window[1];
    next(row[0], window[0]);
    interpolateOutputs<V, 1, Adjacent>(row, window, job.taps, job.channels, job.out + 2 * p);
  }
  return phase;
}

template <typename V, int Outputs>
int interpolatePairInLanes(const PairInterpolation& job) {
  return job.channels == 2 ? interpolateInLanes<V, Outputs, true>(job) : interpolateInLanes<V, Outputs, false>(job);
}

// `Outputs` decimator outputs whose rows and window starts are given: V
// holds kLanes taps of one channel. Types with masked loads read the taps
// beyond the last whole vector into the lanes (nothing outside the window);
// the others add them after the lanes.
template <typename V, int Outputs>
inline void decimateOutputs(const PairDecimation& job, const double* const* row, const int* window, double* out) {
  static_assert(Outputs >= 1 && Outputs <= 4, "up to four outputs");
  constexpr int kTaps = lanes::kLanes<V>;
  const int taps = job.taps;
  // Named sums, as in interpolateOutputs; first of h0, second of h1.
  V first0(0.0), first1(0.0), first2(0.0), first3(0.0);
  V second0(0.0), second1(0.0), second2(0.0), second3(0.0);
  auto forEachOutput = [&](auto step) {
    step(row[0], window[0], first0, second0);
    if constexpr (Outputs > 1) step(row[1], window[1], first1, second1);
    if constexpr (Outputs > 2) step(row[2], window[2], first2, second2);
    if constexpr (Outputs > 3) step(row[3], window[3], first3, second3);
  };
  int t = 0;
  for (; t + kTaps <= taps; t += kTaps) {
    forEachOutput([&](const double* r, int w, V& first, V& second) {
      const V rowTaps = lanes::loadLanes<V>(r + t);
      first = lanes::mulAdd(rowTaps, lanes::loadLanes<V>(job.h0 + w + t), first);
      second = lanes::mulAdd(rowTaps, lanes::loadLanes<V>(job.h1 + w + t), second);
    });
  }
  if constexpr (lanes::kMaskedLoads<V>) {
    if (t < taps) {
      const int rest = taps - t;
      forEachOutput([&](const double* r, int w, V& first, V& second) {
        const V rowTaps = lanes::loadFirstLanes<V>(r + t, rest);
        first = lanes::mulAdd(rowTaps, lanes::loadFirstLanes<V>(job.h0 + w + t, rest), first);
        second = lanes::mulAdd(rowTaps, lanes::loadFirstLanes<V>(job.h1 + w + t, rest), second);
      });
    }
  }
  const V firsts[4] = {first0, first1, first2, first3}, seconds[4] = {second0, second1, second2, second3};
  for (int i = 0; i < Outputs; ++i) {
    lanes::Pair total = lanes::addAcross(firsts[i], seconds[i]);
    if constexpr (!lanes::kMaskedLoads<V>) {
      for (int r = t; r < taps; ++r) {
        total = lanes::mulAdd(lanes::Pair(row[i][r]), lanes::makePair(job.h0[window[i] + r], job.h1[window[i] + r]),
                              total);
      }
    }
    lanes::storePair(out + int64_t(i) * job.channels, total);
  }
}

template <typename V, int Outputs>
int decimatePairInLanes(PairDecimation& job) {
  int w = job.window;
  int phase = job.phase;
  // Takes the row and window of the next output and moves on.
  auto next = [&](const double*& row, int& window) {
    row = job.rows[job.phaseIndex[phase]];
    window = w;
    w += job.inputStep[phase];
    if (++phase == job.phases) phase = 0;
  };
  int p = 0;
  // `Outputs` at a time while all their windows start inside the block.
  for (;;) {
    const int wBefore = w, phaseBefore = phase;
    const double* row[Outputs];
    int window[Outputs];
    for (int i = 0; i < Outputs; ++i) next(row[i], window[i]);
    if (window[Outputs - 1] >= job.end) {
      w = wBefore;
      phase = phaseBefore;
      break;
    }
    decimateOutputs<V, Outputs>(job, row, window, job.out + int64_t(p) * job.channels);
    p += Outputs;
  }
  for (; w < job.end; ++p) {
    const double* row[1];
    int window[1];
    next(row[0], window[0]);
    decimateOutputs<V, 1>(job, row, window, job.out + int64_t(p) * job.channels);
  }
  job.phase = phase;
  return p;
}

}  // namespace
