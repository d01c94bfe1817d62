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

// `Outputs` interpolator outputs whose rows and windows are given: V holds
// kLanes / 2 taps of both channels; the lanes of each channel are added at
// the end, and taps beyond the last whole vector follow in a Pair.
template <typename V, int Outputs, bool Adjacent>
inline void interpolateOutputs(const double* const* row, const double* const* window, int taps, int channels,
                               double* out) {
  constexpr int kTaps = lanes::kLanes<V> / 2;
  V sum[Outputs];
  for (int i = 0; i < Outputs; ++i) sum[i] = V(0.0);
  int t = 0;
  if constexpr (kTaps == 1) {
    // One tap per vector: two taps of a row come in one load and are
    // spread apart, which halves the loads of rows (and of the row
    // pointers, which 32-bit x86 keeps on the stack).
    for (; t + 2 <= taps; t += 2) {
      for (int i = 0; i < Outputs; ++i) {
        const lanes::Pair both = lanes::loadPair(row[i] + t);
        sum[i] = lanes::mulAdd(lanes::firstLanes(both, both), lanes::loadFrames<V>(window[i], t, channels, Adjacent),
                               sum[i]);
        sum[i] = lanes::mulAdd(lanes::secondLanes(both, both),
                               lanes::loadFrames<V>(window[i], t + 1, channels, Adjacent), sum[i]);
      }
    }
  }
  for (; t + kTaps <= taps; t += kTaps) {
    for (int i = 0; i < Outputs; ++i) {
      sum[i] = lanes::mulAdd(lanes::spreadTaps<V>(row[i] + t), lanes::loadFrames<V>(window[i], t, channels, Adjacent),
                             sum[i]);
    }
  }
  for (int i = 0; i < Outputs; ++i) {
    lanes::Pair total = lanes::foldToPair(sum[i]);
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
    interpolateOutputs<V, Outputs, Adjacent>(row, window, job.taps, job.channels, job.out + 2 * p);
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
  constexpr int kTaps = lanes::kLanes<V>;
  const int taps = job.taps;
  V sum0[Outputs], sum1[Outputs];
  for (int i = 0; i < Outputs; ++i) sum0[i] = sum1[i] = V(0.0);
  int t = 0;
  for (; t + kTaps <= taps; t += kTaps) {
    for (int i = 0; i < Outputs; ++i) {
      const V r = lanes::loadLanes<V>(row[i] + t);
      sum0[i] = lanes::mulAdd(r, lanes::loadLanes<V>(job.h0 + window[i] + t), sum0[i]);
      sum1[i] = lanes::mulAdd(r, lanes::loadLanes<V>(job.h1 + window[i] + t), sum1[i]);
    }
  }
  if constexpr (lanes::kMaskedLoads<V>) {
    if (t < taps) {
      const int rest = taps - t;
      for (int i = 0; i < Outputs; ++i) {
        const V r = lanes::loadFirstLanes<V>(row[i] + t, rest);
        sum0[i] = lanes::mulAdd(r, lanes::loadFirstLanes<V>(job.h0 + window[i] + t, rest), sum0[i]);
        sum1[i] = lanes::mulAdd(r, lanes::loadFirstLanes<V>(job.h1 + window[i] + t, rest), sum1[i]);
      }
    }
    for (int i = 0; i < Outputs; ++i) lanes::storePair(out + int64_t(i) * job.channels, lanes::addAcross(sum0[i], sum1[i]));
  } else {
    for (int i = 0; i < Outputs; ++i) {
      lanes::Pair total = lanes::addAcross(sum0[i], sum1[i]);
      for (int r = t; r < taps; ++r) {
        total = lanes::mulAdd(lanes::Pair(row[i][r]), lanes::makePair(job.h0[window[i] + r], job.h1[window[i] + r]),
                              total);
      }
      lanes::storePair(out + int64_t(i) * job.channels, total);
    }
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
