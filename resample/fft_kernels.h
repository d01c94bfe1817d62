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
// Twiddles come from the quarter-wave table of length 4q: entry u < q holds
// cos(2 pi u / (4q)) and sin(2 pi u / (4q)) side by side, so one pointer
// reads both; every sine and cosine of a shorter power-of-two length is read
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

// `value` with its lowest `bits` bits in reverse order.
inline int reverseBits(int value, int bits) {
  int reversed = 0;
  for (int b = 0; b < bits; ++b) reversed |= ((value >> b) & 1) << (bits - 1 - b);
  return reversed;
}

// Cosine and sine of 2 pi t / circle for 0 <= t < 3 circle / 4, read from
// the quarter-wave table (circle = 4 * quarter table steps at stride 1).
struct Twiddles {
  const double* table;  // quarter entries of (cosine, sine)
  int quarter;          // entries in the table

  // Table steps per unit of t for a circle of `length` units.
  int stride(int length) const { return 4 * quarter / length; }

  const double* entry(int u) const { return table + 2 * u; }

  void at(int u, double& c, double& s) const {
    if (u < quarter) {
      c = entry(u)[0];
      s = entry(u)[1];
    } else if (u < 2 * quarter) {
      const int v = u - quarter;
      c = (v == 0) ? 0.0 : -entry(v)[1];
      s = entry(v)[0];
    } else {
      const int v = u - 2 * quarter;
      c = -entry(v)[0];
      s = (v == 0) ? 0.0 : -entry(v)[1];
    }
  }
};

// (re + i im) times the twiddle (c + Sign i s) whose table entry w holds
// (cosine, sine) of its angle less Quarter quarter circles.
//
// The butterflies read their twiddles through this pointer after their own
// stores: the compiler cannot move a load of the table past a store to the
// (possibly aliasing) data, and twiddles loaded up front would stay live
// through the whole butterfly, more than the 8 vector registers of 32-bit
// x86 hold.
template <int Sign, int Quarter, typename V>
inline void rotate(V& re, V& im, const double* w) {
  const double c = Quarter == 0 ? w[0] : Quarter == 1 ? -w[1] : -w[0];
  const double s = Quarter == 0 ? w[1] : Quarter == 1 ? w[0] : -w[1];
  const V wc(c), ws(s);
  const V r = Sign > 0 ? re * wc - im * ws : re * wc + im * ws;
  im = Sign > 0 ? re * ws + im * wc : im * wc - re * ws;
  re = r;
}

// One L-shaped butterfly on the complex values at x0, x1, x2, x3 (a quarter
// of the length apart) with the twiddles W^k at w1 and W^3k at w3 (in
// quarter circle Quarter3, see rotate; none without Rotate): x0 and x1 receive the
// sums that feed the half-length transform; x2 and x3 the differences,
// turned by a quarter circle in the direction of the exponent's sign and
// rotated by the twiddles, that feed the two quarter-length transforms.
// With UpperZero, x2 and x3 count as zero and are not read: x0 and x1 are
// their own sums and the differences.
template <int Sign, bool Rotate, int Quarter3, bool UpperZero, typename V>
inline void lButterfly(V* x0, V* x1, V* x2, V* x3, const double* w1, const double* w3) {
  const V t1r = UpperZero ? x0[0] : x0[0] - x2[0];
  const V t1i = UpperZero ? x0[1] : x0[1] - x2[1];
  const V t2r = UpperZero ? x1[0] : x1[0] - x3[0];
  const V t2i = UpperZero ? x1[1] : x1[1] - x3[1];
  if (!UpperZero) {
    x0[0] = x0[0] + x2[0];
    x0[1] = x0[1] + x2[1];
    x1[0] = x1[0] + x3[0];
    x1[1] = x1[1] + x3[1];
  }
  // Sign -1: u = t1 - i t2, v = t1 + i t2; +1: the other way round.
  V ur = Sign < 0 ? t1r + t2i : t1r - t2i;
  V ui = Sign < 0 ? t1i - t2r : t1i + t2r;
  V vr = Sign < 0 ? t1r - t2i : t1r + t2i;
  V vi = Sign < 0 ? t1i + t2r : t1i - t2r;
  // x2 stored before W^3k is read: one twiddle's values live at a time.
  if (Rotate) rotate<Sign, 0>(ur, ui, w1);
  x2[0] = ur;
  x2[1] = ui;
  if (Rotate) rotate<Sign, Quarter3>(vr, vi, w3);
  x3[0] = vr;
  x3[1] = vi;
}

// The butterfly of lButterfly run backwards, for decimation in time: x2
// and x3 hold the two quarter-length transforms (rotated here by W^k and
// W^3k), x0 and x1 outputs k and k + N/4 of the half-length one; the four
// receive outputs k, k + N/4, k + N/2 and k + 3N/4.
template <int Sign, bool Rotate, int Quarter3, typename V>
inline void lButterflyInTime(V* x0, V* x1, V* x2, V* x3, const double* w1, const double* w3) {
  V ar = x2[0], ai = x2[1], br = x3[0], bi = x3[1];
  if (Rotate) {
    rotate<Sign, 0>(ar, ai, w1);
    rotate<Sign, Quarter3>(br, bi, w3);
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

// The kinds of L-shaped step: decimation in frequency, the same on values
// whose upper half is zero (see lButterfly), decimation in time.
enum class Step { kInFrequency, kUpperZero, kInTime };

// One of the butterflies, by the kind of step.
template <Step Kind, int Sign, bool Rotate, int Quarter3 = 0, typename V>
inline void anyButterfly(V* x0, V* x1, V* x2, V* x3, const double* w1, const double* w3) {
  if constexpr (Kind == Step::kInTime) {
    lButterflyInTime<Sign, Rotate, Quarter3>(x0, x1, x2, x3, w1, w3);
  } else {
    lButterfly<Sign, Rotate, Quarter3, Kind == Step::kUpperZero>(x0, x1, x2, x3, w1, w3);
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

// The twiddles of consecutive butterflies: W^k and W^3k at w1 and w3, each
// moved on by its step (in doubles) after every butterfly.
struct TwiddleWalk {
  const double* w1;
  const double* w3;
  int step1;
  int step3;
};

// The butterflies whose values start at p, p + 2, ... below end, with W^3k
// in quarter circle Quarter3.
template <Step Kind, int Sign, int Quarter3, typename V>
inline void lShapedRange(V* p, V* end, int d, TwiddleWalk& walk) {
  const double* w1 = walk.w1;
  const double* w3 = walk.w3;
  for (; p < end; p += 2, w1 += walk.step1, w3 += walk.step3) {
    anyButterfly<Kind, Sign, true, Quarter3>(p, p + d, p + 2 * d, p + 3 * d, w1, w3);
  }
  walk.w1 = w1;
  walk.w3 = w3;
}

// The L-shaped butterflies of one split-radix step of length `length` >= 4
// (N/4 of them, k = 0 .. N/4 - 1).
//
// The twiddles of butterfly k are W^k and W^3k, W = exp(Sign 2 pi i/length),
// read from the quarter-wave table at u = k * stride and 3u: u stays below
// a quarter circle, 3u falls in the first, second or third quarter, and as
// `length` is a power of two 3u never lands on a quarter's boundary, so
// each range reads the table without a test. Always inlined, so that the
// short transforms of splitRadixFixed stay unrolled.
template <int Sign, Step Kind = Step::kInFrequency, typename V>
[[gnu::always_inline]] inline void lShapedStep(V* x, int length, const Twiddles& tw) {
  const int q = length / 4;
  const int d = 2 * q;  // a quarter of the length, in V values
  anyButterfly<Kind, Sign, false>(x, x + d, x + 2 * d, x + 3 * d, nullptr, nullptr);  // k = 0: both twiddles are 1
  const int stride = tw.stride(length);
  const int firstThird = (q + 2) / 3;       // smallest k with 3k >= q
  const int secondThird = (2 * q + 2) / 3;  // smallest k with 3k >= 2q
  // W^k at entry k * stride; W^3k at entry 3k * stride folded into the
  // first quarter: (c, s), then (-s, c), then (-c, -s).
  TwiddleWalk walk{tw.entry(stride), tw.entry(3 * stride), 2 * stride, 6 * stride};
  lShapedRange<Kind, Sign, 0>(x + 2, x + 2 * firstThird, d, walk);
  walk.w3 -= 2 * tw.quarter;
  lShapedRange<Kind, Sign, 1>(x + 2 * firstThird, x + 2 * secondThird, d, walk);
  walk.w3 -= 2 * tw.quarter;
  lShapedRange<Kind, Sign, 2>(x + 2 * secondThird, x + d, d, walk);
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
    lShapedStep<Sign, Step::kInTime>(x, Length, tw);
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
  lShapedStep<Sign, Step::kInTime>(x, length, tw);
}

// splitRadix of values whose upper half (complex values length / 2 on) is
// zero, whatever memory holds there: its first step does not read that half.
template <int Sign, typename V>
void splitRadixOfLowerHalf(V* x, int length, const Twiddles& tw) {
  if (length < 4) {
    for (V* upper = x + length; upper < x + 2 * length; ++upper) *upper = V(0.0);
    return splitRadix<Sign>(x, length, tw);
  }
  lShapedStep<Sign, Step::kUpperZero>(x, length, tw);
  const int q = length / 4;
  splitRadix<Sign>(x, 2 * q, tw);
  splitRadix<Sign>(x + 4 * q, q, tw);
  splitRadix<Sign>(x + 6 * q, q, tw);
}

}  // namespace
