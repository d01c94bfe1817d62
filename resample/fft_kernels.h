#pragma once

// The complex split-radix FFT kernels shared by the real transform
// (real_fft.cpp) and the block convolution, which is compiled once per
// instruction set (fft_convolution*.cpp). Internal to the resample library;
// each file that includes this gets its own copies (anonymous namespace),
// built with that file's instruction set.
//
// The complex FFT is the split-radix decimation in frequency: a transform of
// length N becomes one of length N/2 (the even outputs) and two of length
// N/4 (outputs 4j+1 and 4j+3) through N/4 L-shaped butterflies, and so on
// down to length 2. It takes its input in natural order and leaves the
// spectrum in bit-reversed order; its transpose, the decimation in time,
// takes bit-reversed order and gives natural order.
//
// Twiddles come from w[0 .. q-1] = cos(2 pi k / (4q)), a quarter wave for
// length 4q; every sine and cosine of a shorter power-of-two length is read
// from it with a stride.
//
// Everything is written once for a number type V: a double, or a vector of
// lanes (fft_lanes.h) that carries independent transforms in lock step.

namespace {

inline int log2Exact(int value) {
  int bits = 0;
  while ((1 << bits) < value) ++bits;
  return bits;
}

// Cosine and sine of 2 pi t / circle for 0 <= t < 3 circle / 4, read from
// the quarter-wave table (circle = 4 * quarter table steps at stride 1).
struct Twiddles {
  const double* cosine;
  int quarter;  // entries in the table

  // Table steps per unit of t for a circle of `length` units.
  int stride(int length) const { return 4 * quarter / length; }

  void at(int u, double& c, double& s) const {
    if (u < quarter) {
      c = cosine[u];
      s = (u == 0) ? 0.0 : cosine[quarter - u];
    } else if (u < 2 * quarter) {
      const int v = u - quarter;
      c = (v == 0) ? 0.0 : -cosine[quarter - v];
      s = cosine[v];
    } else {
      const int v = u - 2 * quarter;
      c = -cosine[v];
      s = (v == 0) ? 0.0 : -cosine[quarter - v];
    }
  }
};

// One L-shaped butterfly on the complex values at x0, x1, x2, x3 (a quarter
// of the length apart) with the twiddles W^k = (c1, s1) and W^3k = (c3, s3)
// (sines already carrying the sign of the exponent): x0 and x1 receive the
// sums that feed the half-length transform; x2 and x3 the differences,
// turned by a quarter circle in the direction of the exponent's sign and
// rotated by the twiddles, that feed the two quarter-length transforms.
template <int Sign, bool Rotate, typename V>
inline void lButterfly(V* x0, V* x1, V* x2, V* x3, double c1, double s1, double c3, double s3) {
  const V t1r = x0[0] - x2[0];
  const V t1i = x0[1] - x2[1];
  const V t2r = x1[0] - x3[0];
  const V t2i = x1[1] - x3[1];
  x0[0] = x0[0] + x2[0];
  x0[1] = x0[1] + x2[1];
  x1[0] = x1[0] + x3[0];
  x1[1] = x1[1] + x3[1];
  // Sign -1: u = t1 - i t2, v = t1 + i t2; +1: the other way round.
  const V ur = Sign < 0 ? t1r + t2i : t1r - t2i;
  const V ui = Sign < 0 ? t1i - t2r : t1i + t2r;
  const V vr = Sign < 0 ? t1r - t2i : t1r + t2i;
  const V vi = Sign < 0 ? t1i + t2r : t1i - t2r;
  if (!Rotate) {
    x2[0] = ur;
    x2[1] = ui;
    x3[0] = vr;
    x3[1] = vi;
    return;
  }
  const V wc1(c1), ws1(s1), wc3(c3), ws3(s3);
  x2[0] = ur * wc1 - ui * ws1;
  x2[1] = ur * ws1 + ui * wc1;
  x3[0] = vr * wc3 - vi * ws3;
  x3[1] = vr * ws3 + vi * wc3;
}

// The butterfly of lButterfly run backwards, for decimation in time: x2
// and x3 hold the two quarter-length transforms (rotated here by W^k and
// W^3k), x0 and x1 outputs k and k + N/4 of the half-length one; the four
// receive outputs k, k + N/4, k + N/2 and k + 3N/4.
template <int Sign, bool Rotate, typename V>
inline void lButterflyInTime(V* x0, V* x1, V* x2, V* x3, double c1, double s1, double c3, double s3) {
  V ar = x2[0], ai = x2[1], br = x3[0], bi = x3[1];
  if (Rotate) {
    const V wc1(c1), ws1(s1), wc3(c3), ws3(s3);
    const V rr = ar * wc1 - ai * ws1;
    ai = ar * ws1 + ai * wc1;
    ar = rr;
    const V qr = br * wc3 - bi * ws3;
    bi = br * ws3 + bi * wc3;
    br = qr;
  }
  const V sr = ar + br, si = ai + bi, dr = ar - br, di = ai - bi;
  x2[0] = x0[0] - sr;
  x2[1] = x0[1] - si;
  x0[0] = x0[0] + sr;
  x0[1] = x0[1] + si;
  // Output k + N/4 gets x1 + Sign i d, output k + 3N/4 gets x1 - Sign i d.
  const V x1r = x1[0], x1i = x1[1];
  x1[0] = Sign > 0 ? x1r - di : x1r + di;
  x1[1] = Sign > 0 ? x1i + dr : x1i - dr;
  x3[0] = Sign > 0 ? x1r + di : x1r - di;
  x3[1] = Sign > 0 ? x1i - dr : x1i + dr;
}

// One of the two butterflies, by the direction of decimation.
template <bool InTime, int Sign, bool Rotate, typename V>
inline void anyButterfly(V* x0, V* x1, V* x2, V* x3, double c1, double s1, double c3, double s3) {
  if constexpr (InTime) {
    lButterflyInTime<Sign, Rotate>(x0, x1, x2, x3, c1, s1, c3, s3);
  } else {
    lButterfly<Sign, Rotate>(x0, x1, x2, x3, c1, s1, c3, s3);
  }
}

// Radix-2 butterfly of a transform of length 2.
template <typename V>
inline void radix2(V* x) {
  const V dr = x[0] - x[2];
  const V di = x[1] - x[3];
  x[0] = x[0] + x[2];
  x[1] = x[1] + x[3];
  x[2] = dr;
  x[3] = di;
}

// The L-shaped butterflies of one split-radix step of length `length` >= 4
// (N/4 of them, k = 0 .. N/4 - 1).
//
// The twiddles of butterfly k are W^k and W^3k, W = exp(Sign 2 pi i/length),
// read from the quarter-wave table at u = k * stride and 3u: u stays below
// a quarter circle, 3u falls in the first, second or third quarter, and as
// `length` is a power of two 3u never lands on a quarter's boundary, so
// each range reads the table without a test.
template <int Sign, bool InTime = false, typename V>
inline void lShapedStep(V* x, int length, const Twiddles& tw) {
  const int q = length / 4;
  V* x1 = x + 2 * q;
  V* x2 = x + 4 * q;
  V* x3 = x + 6 * q;
  anyButterfly<InTime, Sign, false>(x, x1, x2, x3, 1.0, 0.0, 1.0, 0.0);  // k = 0: both twiddles are 1
  const double* table = tw.cosine;
  const int quarter = tw.quarter;
  const int stride = tw.stride(length);
  const int firstThird = (q + 2) / 3;       // smallest k with 3k >= q
  const int secondThird = (2 * q + 2) / 3;  // smallest k with 3k >= 2q
  int k = 1;
  for (; k < firstThird; ++k) {
    const int u = k * stride, u3 = 3 * u, j = 2 * k;
    anyButterfly<InTime, Sign, true>(x + j, x1 + j, x2 + j, x3 + j, table[u], Sign * table[quarter - u], table[u3],
                                   Sign * table[quarter - u3]);
  }
  for (; k < secondThird; ++k) {
    const int u = k * stride, v = 3 * u - quarter, j = 2 * k;
    anyButterfly<InTime, Sign, true>(x + j, x1 + j, x2 + j, x3 + j, table[u], Sign * table[quarter - u],
                                   -table[quarter - v], Sign * table[v]);
  }
  for (; k < q; ++k) {
    const int u = k * stride, v = 3 * u - 2 * quarter, j = 2 * k;
    anyButterfly<InTime, Sign, true>(x + j, x1 + j, x2 + j, x3 + j, table[u], Sign * table[quarter - u], -table[v],
                                   -(Sign * table[quarter - v]));
  }
}

// The split-radix FFT for a length known when compiling (up to 16): the
// same steps as splitRadix, unrolled, without the calls.
template <int Sign, int Length, typename V>
inline void splitRadixFixed(V* x, const Twiddles& tw) {
  if constexpr (Length == 2) {
    radix2(x);
  } else if constexpr (Length >= 4) {
    lShapedStep<Sign>(x, Length, tw);
    splitRadixFixed<Sign, Length / 2>(x, tw);
    splitRadixFixed<Sign, Length / 4>(x + Length, tw);
    splitRadixFixed<Sign, Length / 4>(x + 3 * Length / 2, tw);
  }
}

// Split-radix decimation-in-frequency FFT of the `length` complex values at
// x (natural order in, bit-reversed order out): one L-shaped step splits a
// transform of length N into one of length N/2 (the even outputs) and two
// of length N/4 (outputs 4j+1 and 4j+3), down to length 2. Sign -1:
// exponent -2 pi i jk/length; +1: +2 pi i jk/length. Not normalised.
template <int Sign, typename V>
void splitRadix(V* x, int length, const Twiddles& tw) {
  switch (length) {
    case 1:
      return;
    case 2:
      return splitRadixFixed<Sign, 2>(x, tw);
    case 4:
      return splitRadixFixed<Sign, 4>(x, tw);
    case 8:
      return splitRadixFixed<Sign, 8>(x, tw);
    case 16:
      return splitRadixFixed<Sign, 16>(x, tw);
    default:
      break;
  }
  lShapedStep<Sign>(x, length, tw);
  const int q = length / 4;
  splitRadix<Sign>(x, 2 * q, tw);
  splitRadix<Sign>(x + 4 * q, q, tw);
  splitRadix<Sign>(x + 6 * q, q, tw);
}

// The transpose of splitRadixFixed: decimation in time, bit-reversed order
// in, natural order out.
template <int Sign, int Length, typename V>
inline void splitRadixInTimeFixed(V* x, const Twiddles& tw) {
  if constexpr (Length == 2) {
    radix2(x);
  } else if constexpr (Length >= 4) {
    splitRadixInTimeFixed<Sign, Length / 2>(x, tw);
    splitRadixInTimeFixed<Sign, Length / 4>(x + Length, tw);
    splitRadixInTimeFixed<Sign, Length / 4>(x + 3 * Length / 2, tw);
    lShapedStep<Sign, true>(x, Length, tw);
  }
}

// Split-radix decimation-in-time FFT: takes the bit-reversed order that
// splitRadix leaves and gives natural order, so that splitRadix followed by
// this one with the opposite sign needs no reordering (N times the input).
template <int Sign, typename V>
void splitRadixInTime(V* x, int length, const Twiddles& tw) {
  switch (length) {
    case 1:
      return;
    case 2:
      return splitRadixInTimeFixed<Sign, 2>(x, tw);
    case 4:
      return splitRadixInTimeFixed<Sign, 4>(x, tw);
    case 8:
      return splitRadixInTimeFixed<Sign, 8>(x, tw);
    case 16:
      return splitRadixInTimeFixed<Sign, 16>(x, tw);
    default:
      break;
  }
  const int q = length / 4;
  splitRadixInTime<Sign>(x, 2 * q, tw);
  splitRadixInTime<Sign>(x + 4 * q, q, tw);
  splitRadixInTime<Sign>(x + 6 * q, q, tw);
  lShapedStep<Sign, true>(x, length, tw);
}

}  // namespace
