#pragma once

// The block convolution of fft_convolution.h, written once for a vector type
// V of L = C * S lanes: C channels, each transform of m = n/2 complex values
// split by one first decimation-in-frequency step of radix S into S
// independent transforms of M = m/S values (lane c + C l holds part l of
// channel c). The split-radix kernels (fft_kernels.h) then run on V, all
// lanes with the same twiddles. Included by one file per instruction set.
//
// Work layout: complex index j < M at doubles 2Lj (L real parts, one per
// lane) and 2Lj + L (L imaginary parts).

#include <cstring>
#include <type_traits>

#include "resample/fft_kernels.h"
#include "resample/fft_lanes.h"

namespace {

// One record per pair of bins of the spectral product: Re a, Im a, H[k],
// conj(H[m-k]) (see spectralPair).
constexpr int kPairRecord = 6;

// The number type that carries the C channels of one part: adjacent lanes.
template <int C>
using ChannelLanes = typename std::conditional<C == 2, lanes::Pair, double>::type;

// Complex value `index` of each channel's output: the real part at 2 index,
// the imaginary part beside it.
inline void scatterComplex(double* const* outs, int index, double re, double im) {
  outs[0][2 * index] = re;
  outs[0][2 * index + 1] = im;
}
inline void scatterComplex(double* const* outs, int index, lanes::Pair re, lanes::Pair im) {
  lanes::storePair(outs[0] + 2 * index, lanes::firstLanes(re, im));
  lanes::storePair(outs[1] + 2 * index, lanes::secondLanes(re, im));
}

// Calls visit(l, p, partnerLane, partnerPosition) once for every pair of
// bins {k, m - k} (k = 0 pairs with itself), where part l at position p holds
// bin k = S rev(p) + l (rev over log2 M bits). Part 0: bins S k' pair inside
// part 0, and in bit-reversed order k' and M - k' sit mirrored inside each
// block of positions [b, 2b) (positions 0 and 1 pair with themselves). Part
// l > 0 pairs with part S - l, position p with M - 1 - p.
template <typename Visit>
void forEachBinPair(int subLength, int splits, Visit visit) {
  visit(0, 0, 0, 0);
  if (subLength >= 2) visit(0, 1, 0, 1);
  for (int b = 2; b < subLength; b *= 2) {
    for (int r = 0; r < b / 2; ++r) visit(0, b + r, 0, 2 * b - 1 - r);
  }
  for (int l = 1; 2 * l <= splits; ++l) {
    const int partner = splits - l;
    const int count = partner == l ? (subLength + 1) / 2 : subLength;
    for (int p = 0; p < count; ++p) visit(l, p, partner, subLength - 1 - p);
  }
}

// The spectral product on one pair of bins, from the packed spectrum Z of
// the block (z[j] = x[2j] + i x[2j+1]) to that of the result. The real
// spectrum X of x needs Z at k and m - k: with W = exp(-2 pi i/n) and
// a = (1 - i W^k) / 2,
//   X[k] = conj Z[m-k] + a d,  conj X[m-k] = Z[k] - a d,  d = Z[k] - conj Z[m-k].
// With P = H[k] X[k] and Q = conj(H[m-k]) conj X[m-k] (H the filter's
// spectrum), the result's packed spectrum is
//   Z'[k] = Q + conj(a) e,  conj Z'[m-k] = P - conj(a) e,  e = P - Q.
// W is a double or a Pair (two channels with the same record).
//
// The record's values are spread into lanes where each product needs them,
// not all up front: ten values live at once would not fit the 8 vector
// registers of 32-bit x86.
template <typename W>
inline void spectralPair(double* kRe, double* kIm, double* mRe, double* mIm, const double* f) {
  using lanes::loadLanes;
  const W kr = loadLanes<W>(kRe), ki = loadLanes<W>(kIm), mr = loadLanes<W>(mRe), mi = loadLanes<W>(mIm);
  const W dr = kr - mr, di = ki + mi;
  const W tr = W(f[0]) * dr - W(f[1]) * di, ti = W(f[0]) * di + W(f[1]) * dr;
  const W xr = mr + tr, xi = ti - mi;  // X[k]
  const W yr = kr - tr, yi = ki - ti;  // conj X[m-k]
  const W pr = W(f[2]) * xr - W(f[3]) * xi, pi = W(f[2]) * xi + W(f[3]) * xr;
  const W qr = W(f[4]) * yr - W(f[5]) * yi, qi = W(f[4]) * yi + W(f[5]) * yr;
  const W er = pr - qr, ei = pi - qi;
  const W ur = W(f[0]) * er + W(f[1]) * ei, ui = W(f[0]) * ei - W(f[1]) * er;
  lanes::storeLanes(mRe, pr - ur);  // stored as Z'[m-k], the conjugate
  lanes::storeLanes(mIm, ui - pi);
  lanes::storeLanes(kRe, qr + ur);  // last, so that a bin paired with itself keeps Z'[k]
  lanes::storeLanes(kIm, qi + ui);
}

template <int C, int S>
void spectralProduct(double* work, int subLength, const double* filter) {
  using W = ChannelLanes<C>;
  constexpr int L = C * S;
  const double* f = filter;
  forEachBinPair(subLength, S, [&](int l, int p, int lp, int pp) {
    double* k = work + 2 * L * p + C * l;
    double* m = work + 2 * L * pp + C * lp;
    spectralPair<W>(k, k + L, m, m + L, f);
    f += kPairRecord;
  });
}

// The first step: the S parts y_l[j] = sum_s z[j + sM] w4^(ls) W^(lj),
// W = exp(-2 pi i/m), w4 = exp(-2 pi i/S), of each channel's packed block,
// whose upper half (z[j] for j >= m/2) is zero. `in` holds the C channels
// interleaved (value t of channel c at C t + c) and may be `work` itself
// (descending j never overwrites a value still to be read).
template <int C, int S>
void splitIntoLanes(const double* in, double* work, int subLength, const Twiddles& tw) {
  using W = ChannelLanes<C>;
  using lanes::loadLanes;
  using lanes::storeLanes;
  constexpr int L = C * S;
  if (S == 1) {
    if (in != work) std::memcpy(work, in, sizeof(double) * 2 * L * subLength);
    return;
  }
  const int stride = tw.stride(subLength * S);
  for (int j = subLength - 1; j >= 0; --j) {
    double c1, s1, c2 = 1.0, s2 = 0.0, c3 = 1.0, s3 = 0.0;
    tw.at(j * stride, c1, s1);
    if (S == 4) {
      tw.at(2 * j * stride, c2, s2);
      tw.at(3 * j * stride, c3, s3);
    }
    double* out = work + 2 * L * j;
    const W r0 = loadLanes<W>(in + 2 * C * j), i0 = loadLanes<W>(in + 2 * C * j + C);
    const W wc1(c1), ws1(s1);
    if (S == 2) {
      storeLanes(out, r0);
      storeLanes(out + L, i0);
      storeLanes(out + C, r0 * wc1 + i0 * ws1);  // times W^j = c1 - i s1
      storeLanes(out + L + C, i0 * wc1 - r0 * ws1);
      continue;
    }
    const W r1 = loadLanes<W>(in + 2 * C * (j + subLength)), i1 = loadLanes<W>(in + 2 * C * (j + subLength) + C);
    const W wc2(c2), ws2(s2), wc3(c3), ws3(s3);
    storeLanes(out, r0 + r1);
    storeLanes(out + L, i0 + i1);
    const W ar = r0 + i1, ai = i0 - r1;  // z0 - i z1
    storeLanes(out + C, ar * wc1 + ai * ws1);
    storeLanes(out + L + C, ai * wc1 - ar * ws1);
    const W br = r0 - r1, bi = i0 - i1;  // z0 - z1
    storeLanes(out + 2 * C, br * wc2 + bi * ws2);
    storeLanes(out + L + 2 * C, bi * wc2 - br * ws2);
    const W dr = r0 - i1, di = i0 + r1;  // z0 + i z1
    storeLanes(out + 3 * C, dr * wc3 + di * ws3);
    storeLanes(out + L + 3 * C, di * wc3 - dr * ws3);
  }
}

// The last step, the transpose of splitIntoLanes for the inverse transform:
// z'[j + sM] = sum_l y'_l[j] W^(-lj) w4^(-ls), written to each channel's
// output as values 2(j + sM) and 2(j + sM) + 1.
template <int C, int S>
void joinLanes(const double* work, int subLength, const Twiddles& tw, double* const* outs) {
  using W = ChannelLanes<C>;
  using lanes::loadLanes;
  constexpr int L = C * S;
  const int stride = tw.stride(subLength * S);
  for (int j = 0; j < subLength; ++j) {
    const double* in = work + 2 * L * j;
    const W r0 = loadLanes<W>(in), i0 = loadLanes<W>(in + L);
    if (S == 1) {
      scatterComplex(outs, j, r0, i0);
      continue;
    }
    double c1, s1, c2 = 1.0, s2 = 0.0, c3 = 1.0, s3 = 0.0;
    tw.at(j * stride, c1, s1);
    if (S == 4) {
      tw.at(2 * j * stride, c2, s2);
      tw.at(3 * j * stride, c3, s3);
    }
    // Part l turned by W^(-lj): (r + i i')(c + i s).
    const W wc1(c1), ws1(s1);
    const W y1r = loadLanes<W>(in + C), y1i = loadLanes<W>(in + L + C);
    const W r1 = y1r * wc1 - y1i * ws1, i1 = y1r * ws1 + y1i * wc1;
    if (S == 2) {
      scatterComplex(outs, j, r0 + r1, i0 + i1);
      scatterComplex(outs, j + subLength, r0 - r1, i0 - i1);
      continue;
    }
    const W wc2(c2), ws2(s2), wc3(c3), ws3(s3);
    const W y2r = loadLanes<W>(in + 2 * C), y2i = loadLanes<W>(in + L + 2 * C);
    const W y3r = loadLanes<W>(in + 3 * C), y3i = loadLanes<W>(in + L + 3 * C);
    const W r2 = y2r * wc2 - y2i * ws2, i2 = y2r * ws2 + y2i * wc2;
    const W r3 = y3r * wc3 - y3i * ws3, i3 = y3r * ws3 + y3i * wc3;
    const W sr = r0 + r2, si = i0 + i2, dr = r0 - r2, di = i0 - i2;
    const W tr = r1 + r3, ti = i1 + i3, ur = r1 - r3, ui = i1 - i3;
    scatterComplex(outs, j, sr + tr, si + ti);
    scatterComplex(outs, j + subLength, dr - ui, di + ur);  // + i (b1 - b3)
    scatterComplex(outs, j + 2 * subLength, sr - tr, si - ti);
    scatterComplex(outs, j + 3 * subLength, dr + ui, di - ur);  // - i (b1 - b3)
  }
}

// The whole convolution of C channels in the lanes of V (C * S lanes).
template <int C, int S, typename V>
void convolveInLanes(int n, const double* in, double* work, const double* filter, const int* ip, const double* w,
                     double* const* outs) {
  static_assert(sizeof(V) == C * S * sizeof(double), "one lane per channel and part");
  const int subLength = n / 2 / S;
  const Twiddles tw{w, ip[0]};
  V* x = reinterpret_cast<V*>(work);
  splitIntoLanes<C, S>(in, work, subLength, tw);
  // The packed block's upper half is zero: with S > 1 splitIntoLanes took
  // that into account; with one part the transform's first step does.
  if constexpr (S == 1) {
    splitRadixOfLowerHalf<-1>(x, subLength, tw);
  } else {
    splitRadix<-1>(x, subLength, tw);
  }
  spectralProduct<C, S>(work, subLength, filter);
  splitRadixInTime<+1>(x, subLength, tw);
  joinLanes<C, S>(work, subLength, tw, outs);
}

}  // namespace

namespace {

// LaneKernels' convolutions in the lanes of V: a single channel as kLanes
// parts of its transform (its records follow the pair layout's), a channel
// pair as kLanes / 2 parts of each channel.
template <typename V>
void convolveSingleInLanes(int n, double* block, double* work, const double* filter, const int* ip, const double* w) {
  double* outs[1] = {block};
  convolveInLanes<1, lanes::kLanes<V>, V>(n, block, work, filter + (n / 4 + 1) * kPairRecord, ip, w, outs);
}

template <typename V>
void convolvePairInLanes(int n, double* pair, const double* filter, const int* ip, const double* w, double* first,
                         double* second) {
  constexpr int kSplits = lanes::kLanes<V> / 2;
  double* outs[2] = {first, second};
  convolveInLanes<2, kSplits, V>(n, pair, pair, filter, ip, w, outs);
}

}  // namespace
