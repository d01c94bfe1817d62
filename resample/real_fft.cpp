#include "resample/real_fft.h"

#include <cmath>
#include <utility>

#include "resample/fft_kernels.h"
#include "resample/fft_lanes.h"

// The real transform of length n runs as a complex FFT of length m = n/2
// (fft_kernels.h) on the packed pairs z[j] = a[2j] + i a[2j+1], followed
// (forward) or preceded (inverse) by the step that splits the complex
// spectrum into the spectra of the even and odd samples. The complex FFT
// leaves bit-reversed order, which one permutation undoes.
//
// Tables:
//   w[0 .. 2q-1] the quarter-wave table of fft_kernels.h (cosine and sine
//                side by side), for length 4q = 4 ip[0].
//   ip[0] = q, ip[1] = number of entries 2^L of the bit-reversal table at
//   ip + 2, which reverses L-bit numbers (L = floor(log2(m) / 2)).
namespace {

using lanes::negate;
using lanes::Pair;

constexpr double kHalfPi = 1.5707963267948966;

void makeTwiddleTable(int quarter, int* ip, double* w) {
  const double delta = kHalfPi / quarter;
  // cos(k delta), taken as the sine of the complementary angle above pi/4,
  // where that is the more accurate; sin(k delta) = cos((quarter - k) delta).
  const auto cosine = [&](int k) { return (2 * k <= quarter) ? std::cos(k * delta) : std::sin((quarter - k) * delta); };
  for (int k = 0; k < quarter; ++k) {
    w[2 * k] = cosine(k);
    w[2 * k + 1] = (k == 0) ? 0.0 : cosine(quarter - k);
  }
  ip[0] = quarter;
}

void makeBitReversalTable(int entries, int* ip) {
  int* table = ip + 2;
  const int bits = log2Exact(entries);
  for (int i = 0; i < entries; ++i) table[i] = reverseBits(i, bits);
  ip[1] = entries;
}

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
    if (ip[0] < quarter) makeTwiddleTable(quarter, ip, w);
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
