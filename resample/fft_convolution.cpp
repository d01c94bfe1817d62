#include "resample/fft_convolution.h"

#include <cmath>

#include "resample/fft_convolution_lanes.h"

// The filter's records, in the order the convolution in two or four lanes
// (fft_convolution_lanes.h) visits the pairs of bins.

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

}  // namespace

// Records for the pair layout, then for the single-channel layout: n/4 + 1
// pairs of bins each.
int convolutionFilterSize(int n) { return 2 * (n / 4 + 1) * kPairRecord; }

void makeConvolutionFilter(int n, const double* spectrum, double* filter, FftLanes lanes) {
  double* single = writeRecords(n, pairSplits(lanes), spectrum, filter);
  writeRecords(n, singleSplits(lanes), spectrum, single);
}
