#include "fft_convolution.h"

#include <algorithm>
#include <cmath>

#include "fft_convolution_lanes.h"

// Two lanes (SSE2, every build): a channel pair runs as two channels of one
// part, a single channel as two halves. Four lanes (fft_convolution_wide.cpp,
// built with AVX2 and FMA where the build allows): a pair as two channels of
// two halves, a single channel as four quarters.

#if defined(RESAMPLE_WIDE_LANES)
void convolvePairFourLanes(int n, double* pair, const double* filter, const int* ip, const double* w,
                           double* const* outs);
void convolveSingleFourLanes(int n, const double* block, double* work, const double* filter, const int* ip,
                             const double* w, double* out);
#endif

namespace {

// Parts per transform: for a channel pair and for a single channel.
int pairSplits(FftLanes lanes) { return lanes == FftLanes::kFour ? 2 : 1; }
int singleSplits(FftLanes lanes) { return lanes == FftLanes::kFour ? 4 : 2; }

// The record of the pair of bins k and m - k.
void writePairRecord(int n, int k, const double* spectrum, double* f) {
  const int m = n / 2;
  const double angle = 2.0 * 3.14159265358979323846 * k / n;
  f[0] = 0.5 * (1.0 - std::sin(angle));
  f[1] = -0.5 * std::cos(angle);
  // rdft's layout holds Re H, -Im H; bins 0 and m (= n/2) are real.
  const int partner = m - k;
  f[2] = k == 0 ? spectrum[0] : spectrum[2 * k];
  f[3] = k == 0 ? 0.0 : -spectrum[2 * k + 1];
  f[4] = k == 0 ? spectrum[1] : spectrum[2 * partner];
  f[5] = k == 0 ? 0.0 : spectrum[2 * partner + 1];
}

// The records in the order spectralProduct visits the pairs for S parts.
double* writeRecords(int n, int splits, const double* spectrum, double* f) {
  const int subLength = n / 2 / splits;
  const int bits = log2Exact(subLength);
  forEachBinPair(subLength, splits, [&](int l, int p, int, int) {
    writePairRecord(n, splits * reverseBits(p, bits) + l, spectrum, f);
    f += kPairRecord;
  });
  return f;
}

bool cpuHasWideLanes() {
#if defined(RESAMPLE_WIDE_LANES)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
  return false;
#endif
}

}  // namespace

FftLanes widestFftLanes() {
  static const FftLanes widest = cpuHasWideLanes() ? FftLanes::kFour : FftLanes::kTwo;
  return widest;
}

// Records for the pair layout, then for the single-channel layout: n/4 + 1
// pairs of bins each.
int convolutionFilterSize(int n) { return 2 * (n / 4 + 1) * kPairRecord; }

void makeConvolutionFilter(int n, const double* spectrum, double* filter, FftLanes lanes) {
  double* single = writeRecords(n, pairSplits(lanes), spectrum, filter);
  writeRecords(n, singleSplits(lanes), spectrum, single);
}

void convolveBlock(int n, double* block, double* work, const double* filter, const int* ip, const double* w,
                   FftLanes lanes) {
  const double* records = filter + (n / 4 + 1) * kPairRecord;
#if defined(RESAMPLE_WIDE_LANES)
  if (lanes == FftLanes::kFour) return convolveSingleFourLanes(n, block, work, records, ip, w, block);
#endif
  (void)lanes;
  double* outs[1] = {block};
  convolveInLanes<1, 2, lanes::Pair>(n, block, work, records, ip, w, outs);
}

void convolveBlockPair(int n, double* pair, const double* filter, const int* ip, const double* w, double* first,
                       double* second, FftLanes lanes) {
  double* outs[2] = {first, second};
#if defined(RESAMPLE_WIDE_LANES)
  if (lanes == FftLanes::kFour) return convolvePairFourLanes(n, pair, filter, ip, w, outs);
#endif
  (void)lanes;
  // One part per channel: the transform reads the zero upper halves too.
  std::fill(pair + n, pair + 2 * n, 0.0);
  convolveInLanes<2, 1, lanes::Pair>(n, pair, pair, filter, ip, w, outs);
}
