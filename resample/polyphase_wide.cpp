// Built with AVX2 and FMA; see polyphase_lanes.h.

#include <immintrin.h>

#include "polyphase_lanes.h"

namespace {

// Taps t and t + 1 of both channels: (row[t], row[t], row[t+1], row[t+1])
// times (x0[t], x1[t], x0[t+1], x1[t+1]), added to sum. For two channels
// the four window values are adjacent.
template <bool Adjacent>
inline __m256d twoTaps(__m256d sum, const double* row, const double* window, int t, int channels) {
  const __m256d r = _mm256_permute4x64_pd(_mm256_castpd128_pd256(_mm_loadu_pd(row + t)), 0x50);
  const __m256d w = Adjacent ? _mm256_loadu_pd(window + 2 * t)
                             : _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(window + int64_t(t) * channels)),
                                                    _mm_loadu_pd(window + int64_t(t + 1) * channels), 1);
  return _mm256_fmadd_pd(r, w, sum);
}

// Both halves added, and an odd last tap.
inline __m128d finish(__m256d sum, const double* row, const double* window, int taps, int channels) {
  __m128d total = _mm_add_pd(_mm256_castpd256_pd128(sum), _mm256_extractf128_pd(sum, 1));
  if (taps % 2 != 0) {
    const int t = taps - 1;
    total = _mm_fmadd_pd(_mm_set1_pd(row[t]), _mm_loadu_pd(window + int64_t(t) * channels), total);
  }
  return total;
}

template <bool Adjacent>
int interpolate(const PairInterpolation& job) {
  int64_t frame = job.frame;
  int phase = job.phase;
  const int taps = job.taps, channels = job.channels;
  auto next = [&](const double*& row, const double*& window) {
    row = job.rows[job.phaseIndex[phase]];
    window = job.x + frame * channels;
    frame += job.inputStep[phase] != 0 ? 1 : 0;
    if (++phase == job.cycle) phase = 0;
  };
  int p = 0;
  // Four outputs at a time: independent sums.
  for (; p + 3 < job.count; p += 4) {
    const double* row[4];
    const double* window[4];
    __m256d sum[4];
    for (int i = 0; i < 4; ++i) {
      next(row[i], window[i]);
      sum[i] = _mm256_setzero_pd();
    }
    for (int t = 0; t + 1 < taps; t += 2) {
      for (int i = 0; i < 4; ++i) sum[i] = twoTaps<Adjacent>(sum[i], row[i], window[i], t, channels);
    }
    for (int i = 0; i < 4; ++i) _mm_store_pd(job.out + 2 * (p + i), finish(sum[i], row[i], window[i], taps, channels));
  }
  for (; p < job.count; ++p) {
    const double *row, *window;
    next(row, window);
    __m256d sum = _mm256_setzero_pd();
    for (int t = 0; t + 1 < taps; t += 2) sum = twoTaps<Adjacent>(sum, row, window, t, channels);
    _mm_store_pd(job.out + 2 * p, finish(sum, row, window, taps, channels));
  }
  return phase;
}

}  // namespace

int interpolatePairFourLanes(const PairInterpolation& job) {
  return job.channels == 2 ? interpolate<true>(job) : interpolate<false>(job);
}

namespace {

// Both channels' four-lane sums of one output, added across, as the pair
// (channel 0, channel 1).
inline __m128d addAcross(__m256d sum0, __m256d sum1) {
  const __m256d halves = _mm256_hadd_pd(sum0, sum1);
  return _mm_add_pd(_mm256_castpd256_pd128(halves), _mm256_extractf128_pd(halves, 1));
}

// The decimator's sums of `Outputs` outputs at once (independent chains),
// whose rows and window starts are given; the taps beyond the last multiple
// of four through masked loads, which read nothing outside the window.
template <int Outputs>
inline void decimateOutputs(const PairDecimation& job, const double* const* row, const int* window, __m256i restMask,
                            double* out) {
  const int taps = job.taps;
  __m256d sum0[Outputs], sum1[Outputs];
  for (int i = 0; i < Outputs; ++i) sum0[i] = sum1[i] = _mm256_setzero_pd();
  int t = 0;
  for (; t + 3 < taps; t += 4) {
    for (int i = 0; i < Outputs; ++i) {
      const __m256d r = _mm256_loadu_pd(row[i] + t);
      sum0[i] = _mm256_fmadd_pd(r, _mm256_loadu_pd(job.h0 + window[i] + t), sum0[i]);
      sum1[i] = _mm256_fmadd_pd(r, _mm256_loadu_pd(job.h1 + window[i] + t), sum1[i]);
    }
  }
  if (t < taps) {
    for (int i = 0; i < Outputs; ++i) {
      const __m256d r = _mm256_maskload_pd(row[i] + t, restMask);
      sum0[i] = _mm256_fmadd_pd(r, _mm256_maskload_pd(job.h0 + window[i] + t, restMask), sum0[i]);
      sum1[i] = _mm256_fmadd_pd(r, _mm256_maskload_pd(job.h1 + window[i] + t, restMask), sum1[i]);
    }
  }
  for (int i = 0; i < Outputs; ++i) _mm_storeu_pd(out + int64_t(i) * job.channels, addAcross(sum0[i], sum1[i]));
}

}  // namespace

int decimatePairFourLanes(PairDecimation& job) {
  const __m256i restMask =
      _mm256_cmpgt_epi64(_mm256_set1_epi64x(job.taps % 4), _mm256_setr_epi64x(0, 1, 2, 3));
  int w = job.window;
  int phase = job.phase;
  int p = 0;
  // Takes the row and window of the next output and moves on.
  auto next = [&](const double*& row, int& window) {
    row = job.rows[job.phaseIndex[phase]];
    window = w;
    w += job.inputStep[phase];
    if (++phase == job.phases) phase = 0;
  };
  // Four outputs at a time while all four windows start inside the block.
  for (;;) {
    const int wBefore = w, phaseBefore = phase;
    const double* row[4];
    int window[4];
    for (int i = 0; i < 4; ++i) next(row[i], window[i]);
    if (window[3] >= job.end) {
      w = wBefore;
      phase = phaseBefore;
      break;
    }
    decimateOutputs<4>(job, row, window, restMask, job.out + int64_t(p) * job.channels);
    p += 4;
  }
  for (; w < job.end; ++p) {
    const double* row[1];
    int window[1];
    next(row[0], window[0]);
    decimateOutputs<1>(job, row, window, restMask, job.out + int64_t(p) * job.channels);
  }
  job.phase = phase;
  return p;
}
