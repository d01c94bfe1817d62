// The four-lane block convolution, built with AVX2 and FMA (fused multiply-
// add allowed); called only where the CPU has both (fft_convolution.cpp).

#include "fft_convolution_lanes.h"

void convolvePairFourLanes(int n, double* pair, const double* filter, const int* ip, const double* w,
                           double* const* outs) {
  convolveInLanes<2, 2, lanes::Quad>(n, pair, pair, filter, ip, w, outs);
}

void convolveSingleFourLanes(int n, const double* block, double* work, const double* filter, const int* ip,
                             const double* w, double* out) {
  double* outs[1] = {out};
  convolveInLanes<1, 4, lanes::Quad>(n, block, work, filter, ip, w, outs);
}
