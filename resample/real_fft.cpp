#include "real_fft.h"

#include <cmath>
#include <utility>

#include "fft_lanes.h"

// The real transform of length n runs as a complex FFT of length m = n/2 on
// the packed pairs z[j] = a[2j] + i a[2j+1], followed (forward) or preceded
// (inverse) by the step that splits the complex spectrum into the spectra of
// the even and odd samples.
//
// The complex FFT is the split-radix decimation in frequency: a transform of
// length N becomes one of length N/2 (the even outputs) and two of length
// N/4 (outputs 4j+1 and 4j+3) through N/4 L-shaped butterflies, and so on
// down to length 2. It takes its input in natural order and leaves the
// spectrum in bit-reversed order, which one permutation then undoes.
//
// Tables:
//   w[0 .. q-1]  cos(2 pi k / (4q)), a quarter wave for length 4q = 4 ip[0];
//                every sine and cosine of a shorter power-of-two length is
//                read from it with a stride.
//   ip[0] = q, ip[1] = number of entries 2^L of the bit-reversal table at
//   ip + 2, which reverses L-bit numbers (L = floor(log2(m) / 2)).
//
// Everything below is written once for a number type V: a double, or a
// lanes::Pair that carries two independent transforms (two channels) whose
// lanes see exactly the operations of the scalar code.
namespace {

using lanes::negate;
using lanes::Pair;

constexpr double kHalfPi = 1.5707963267948966;

int log2Exact(int value) {
  int bits = 0;
  while ((1 << bits) < value) ++bits;
  return bits;
}

void makeCosineTable(int quarter, int* ip, double* w) {
  const double delta = kHalfPi / quarter;
  for (int k = 0; k < quarter; ++k) {
    // The sine of the complementary angle is the more accurate near pi/2.
    w[k] = (2 * k <= quarter) ? std::cos(k * delta) : std::sin((quarter - k) * delta);
  }
  ip[0] = quarter;
}

void makeBitReversalTable(int entries, int* ip) {
  int* table = ip + 2;
  const int bits = log2Exact(entries);
  for (int i = 0; i < entries; ++i) {
    int reversed = 0;
    for (int b = 0; b < bits; ++b) {
      if (i & (1 << b)) reversed |= 1 << (bits - 1 - b);
    }
    table[i] = reversed;
  }
  ip[1] = entries;
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

// Calls visit(i, j) for every index i of m complex values, j being i with
// its log2(m) bits reversed. An index is split into its high and low halves
// of bits; both are reversed through the table (the high half, one bit
// longer when log2(m) is odd, with its lowest bit handled apart).
template <typename Visit>
void forEachReversedIndex(int m, const int* ip, Visit visit) {
  const int bits = log2Exact(m);
  const int lowBits = bits / 2;
  const int highBits = bits - lowBits;
  const int tableShift = log2Exact(ip[1]) - lowBits;
  const int* table = ip + 2;
  const int lowCount = 1 << lowBits;
  const int highCount = 1 << highBits;
  for (int high = 0; high < highCount; ++high) {
    const int reversedHigh = highBits == lowBits
                                 ? table[high] >> tableShift
                                 : ((high & 1) << lowBits) | (table[high >> 1] >> tableShift);
    for (int low = 0; low < lowCount; ++low) {
      visit((high << lowBits) | low, ((table[low] >> tableShift) << highBits) | reversedHigh);
    }
  }
}

// Puts the m complex values of a from bit-reversed into natural order (or
// back): swaps every pair of indices that reverse into each other once.
template <typename V>
void bitReverse(V* a, int m, const int* ip) {
  forEachReversedIndex(m, ip, [a](int i, int j) {
    if (j > i) {
      std::swap(a[2 * i], a[2 * j]);
      std::swap(a[2 * i + 1], a[2 * j + 1]);
    }
  });
}

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

// The spectral product of a fast convolution, done on the bit-reversed
// complex spectrum Z of the packed pairs z[j] = x[2j] + i x[2j+1] (m = n/2
// values), straight into the bit-reversed spectrum Z' of the packed pairs of
// the result, which the inverse transform takes.
//
// The real spectrum X of x needs Z at k and m - k: with W = exp(-2 pi i/n)
// and a = (1 - i W^k) / 2,
//   X[k] = conj Z[m-k] + a d,  conj X[m-k] = Z[k] - a d,  d = Z[k] - conj Z[m-k].
// With P = H[k] X[k] and Q = conj(H[m-k]) conj X[m-k] (H the filter's
// spectrum), the result's packed spectrum is
//   Z'[k] = Q + conj(a) e,  conj Z'[m-k] = P - conj(a) e,  e = P - Q.
// In bit-reversed order k and m - k sit mirrored inside each block of
// positions [b, 2b): position b + r pairs with 2b - 1 - r. Positions 0
// (k = 0, whose partner in X is n/2) and 1 (k = m/2) pair with themselves.
//
// The filter holds one record per pair, in the order visited: Re a, Im a,
// H[k], conj(H[m-k]) (six doubles).
constexpr int kPairRecord = 6;

template <typename V>
inline void spectralPair(V* zk, V* zm, const double* f) {
  const V ar(f[0]), ai(f[1]), hr(f[2]), hi(f[3]), gr(f[4]), gi(f[5]);
  const V kr = zk[0], ki = zk[1], mr = zm[0], mi = zm[1];
  const V dr = kr - mr, di = ki + mi;
  const V tr = ar * dr - ai * di, ti = ar * di + ai * dr;
  const V xr = mr + tr, xi = ti - mi;  // X[k]
  const V yr = kr - tr, yi = ki - ti;  // conj X[m-k]
  const V pr = hr * xr - hi * xi, pi = hr * xi + hi * xr;
  const V qr = gr * yr - gi * yi, qi = gr * yi + gi * yr;
  const V er = pr - qr, ei = pi - qi;
  const V ur = ar * er + ai * ei, ui = ar * ei - ai * er;
  zm[0] = pr - ur;  // stored as Z'[m-k], the conjugate
  zm[1] = ui - pi;
  zk[0] = qr + ur;  // last, so that a position paired with itself keeps Z'[k]
  zk[1] = qi + ui;
}

template <typename V>
void spectralProduct(V* a, int m, const double* filter) {
  spectralPair(a, a, filter);
  if (m < 2) return;
  spectralPair(a + 2, a + 2, filter + kPairRecord);
  const double* f = filter + 2 * kPairRecord;
  for (int b = 2; b < m; b *= 2) {
    V* low = a + 2 * b;
    V* high = a + 2 * (2 * b - 1);
    for (int r = 0; r < b / 2; ++r, f += kPairRecord, low += 2, high -= 2) spectralPair(low, high, f);
  }
}

int reverseBits(int value, int bits) {
  int reversed = 0;
  for (int b = 0; b < bits; ++b) reversed |= ((value >> b) & 1) << (bits - 1 - b);
  return reversed;
}

// The record of the pair whose first position holds bin k.
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

template <typename V>
void convolve(int n, V* a, const double* filter, const int* ip, const double* w) {
  const int m = n / 2;
  const Twiddles tw{w, ip[0]};
  splitRadix<-1>(a, m, tw);
  spectralProduct(a, m, filter);
  splitRadixInTime<+1>(a, m, tw);
}

// Forward: from the complex spectrum Z of the packed pairs to the real
// spectrum X (stored as Re X, -Im X). For each k the pair (k, m-k) is done
// together: E = (Z[k] + conj Z[m-k]) / 2, O = (Z[k] - conj Z[m-k]) / 2i,
// X[k] = E + W O, X[m-k] = conj(E - W O), W = exp(-2 pi i k/n).
// Bin m/2 is unchanged in this layout.
template <typename V>
void splitForward(V* a, int m, const Twiddles& tw) {
  const V half(0.5);
  const V minusHalf(-0.5);
  const int stride = tw.stride(2 * m);
  for (int k = 1; 2 * k < m; ++k) {
    V* zk = a + 2 * k;
    V* zm = a + 2 * (m - k);
    const V er = half * (zk[0] + zm[0]);
    const V ei = half * (zk[1] - zm[1]);
    const V orr = half * (zk[1] + zm[1]);
    const V oi = minusHalf * (zk[0] - zm[0]);
    double c, s;
    tw.at(k * stride, c, s);
    const V cv(c), sv(s);
    const V wor = cv * orr + sv * oi;  // (c - i s)(orr + i oi)
    const V woi = cv * oi - sv * orr;
    zk[0] = er + wor;
    zk[1] = negate(ei + woi);
    zm[0] = er - wor;
    zm[1] = ei - woi;
  }
}

// Inverse of splitForward: Z[k] = E + i O with E = (X[k] + conj X[m-k]) / 2
// and O = (X[k] - conj X[m-k]) conj(W) / 2.
template <typename V>
void splitInverse(V* a, int m, const Twiddles& tw) {
  const V half(0.5);
  const int stride = tw.stride(2 * m);
  for (int k = 1; 2 * k < m; ++k) {
    V* xk = a + 2 * k;
    V* xm = a + 2 * (m - k);
    const V xkr = xk[0], xki = negate(xk[1]);
    const V xmr = xm[0], xmi = negate(xm[1]);
    const V er = half * (xkr + xmr);
    const V ei = half * (xki - xmi);
    const V dr = half * (xkr - xmr);
    const V di = half * (xki + xmi);
    double c, s;
    tw.at(k * stride, c, s);
    const V cv(c), sv(s);
    const V orr = dr * cv - di * sv;  // (dr + i di)(c + i s)
    const V oi = dr * sv + di * cv;
    xk[0] = er - oi;
    xk[1] = ei + orr;
    xm[0] = er + oi;
    xm[1] = orr - ei;
  }
}

// Makes the tables a transform of length n needs, unless they are there.
Twiddles prepareTables(int n, int* ip, double* w) {
  const int m = n / 2;
  if (ip[0] == 0) ip[1] = 0;  // nothing made yet, whatever ip[1] holds
  if (m >= 2) {
    const int quarter = n / 4;
    if (ip[0] < quarter) makeCosineTable(quarter, ip, w);
    const int reversalEntries = 1 << (log2Exact(m) / 2);
    if (ip[1] < reversalEntries) makeBitReversalTable(reversalEntries, ip);
  }
  return Twiddles{w, ip[0]};
}

template <typename V>
void forwardTransform(int n, V* a, const int* ip, const Twiddles& tw) {
  const int m = n / 2;
  if (m >= 2) {
    splitRadix<-1>(a, m, tw);
    bitReverse(a, m, ip);
    splitForward(a, m, tw);
  }
  const V difference = a[0] - a[1];
  a[0] = a[0] + a[1];
  a[1] = difference;
}

// The inverse up to its last step: the complex values are left in
// bit-reversed order.
template <typename V>
void inverseTransformScrambled(int n, V* a, const Twiddles& tw) {
  const int m = n / 2;
  const V half(0.5);
  a[1] = half * (a[0] - a[1]);
  a[0] = a[0] - a[1];
  if (m >= 2) {
    splitInverse(a, m, tw);
    splitRadix<+1>(a, m, tw);
  }
}

template <typename V>
void transform(int n, int isgn, V* a, int* ip, double* w) {
  const Twiddles tw = prepareTables(n, ip, w);
  if (isgn >= 0) {
    forwardTransform(n, a, ip, tw);
  } else {
    inverseTransformScrambled(n, a, tw);
    if (n >= 4) bitReverse(a, n / 2, ip);
  }
}

}  // namespace

void rdft(int n, int isgn, double* a, int* ip, double* w) { transform(n, isgn, a, ip, w); }

void rdftPair(int n, int isgn, double* a, int* ip, double* w) {
  transform(n, isgn, reinterpret_cast<Pair*>(a), ip, w);
}

int scrambledFilterSize(int n) { return (n / 4 + 1) * kPairRecord; }

void makeScrambledFilter(int n, const double* spectrum, double* filter) {
  const int m = n / 2;
  const int bits = log2Exact(m);
  writePairRecord(n, 0, spectrum, filter);
  if (m < 2) return;
  writePairRecord(n, m / 2, spectrum, filter + kPairRecord);
  double* f = filter + 2 * kPairRecord;
  for (int b = 2; b < m; b *= 2) {
    for (int r = 0; r < b / 2; ++r, f += kPairRecord) writePairRecord(n, reverseBits(b + r, bits), spectrum, f);
  }
}

void convolveScrambled(int n, double* a, const double* filter, const int* ip, const double* w) {
  convolve(n, a, filter, ip, w);
}

void convolveScrambledPair(int n, double* a, const double* filter, const int* ip, const double* w) {
  convolve(n, reinterpret_cast<Pair*>(a), filter, ip, w);
}
