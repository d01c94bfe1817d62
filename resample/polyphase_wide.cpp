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
