#include "real_fft.h"

#include <cmath>
#include <utility>

// The real transform of length n runs as a complex FFT of length m = n/2 on
// the packed pairs z[j] = a[2j] + i a[2j+1], followed (forward) or preceded
// (inverse) by the step that splits the complex spectrum into the spectra of
// the even and odd samples.
//
// Tables:
//   w[0 .. q-1]  cos(2 pi k / (4q)), a quarter wave for length 4q = 4 ip[0];
//                every sine and cosine of a shorter power-of-two length is
//                read from it with a stride.
//   ip[0] = q, ip[1] = number of entries 2^L of the bit-reversal table at
//   ip + 2, which reverses L-bit numbers (L = floor(log2(m) / 2)).
namespace {

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

// Cosine and sine of 2 pi t / n for 0 <= t < n/2, read from the quarter-wave
// table made for length 4 ip[0] >= n.
struct Twiddles {
  const double* cosine;
  int quarter;  // entries in the table
  int stride;   // table steps per step of t

  void at(int t, double& c, double& s) const {
    const int u = t * stride;
    if (u < quarter) {
      c = cosine[u];
      s = (u == 0) ? 0.0 : cosine[quarter - u];
    } else {
      const int v = u - quarter;
      c = (v == 0) ? 0.0 : -cosine[quarter - v];
      s = cosine[v];
    }
  }
};

// Reverses the log2(m) bits of every index of the m complex values of a and
// swaps each pair once.
void bitReverse(double* a, int m, const int* ip) {
  const int bits = log2Exact(m);
  const int lowBits = bits / 2;
  const int highBits = bits - lowBits;
  const int tableBits = log2Exact(ip[1]);
  const int* table = ip + 2;
  auto reverseLow = [&](int x) { return table[x] >> (tableBits - lowBits); };
  auto reverseHigh = [&](int x) {
    if (highBits == lowBits) return reverseLow(x);
    return ((x & 1) << lowBits) | reverseLow(x >> 1);
  };
  const int lowMask = (1 << lowBits) - 1;
  for (int i = 0; i < m; ++i) {
    const int j = (reverseLow(i & lowMask) << highBits) | reverseHigh(i >> lowBits);
    if (j > i) {
      std::swap(a[2 * i], a[2 * j]);
      std::swap(a[2 * i + 1], a[2 * j + 1]);
    }
  }
}

// One radix-2 butterfly on complex values x0, x1 with twiddle (wr, wi).
inline void butterfly(double* x0, double* x1, double wr, double wi) {
  const double pr = wr * x1[0] - wi * x1[1];
  const double pi = wr * x1[1] + wi * x1[0];
  x1[0] = x0[0] - pr;
  x1[1] = x0[1] - pi;
  x0[0] = x0[0] + pr;
  x0[1] = x0[1] + pi;
}

// Complex values per cache-friendly block (8 KB): the stages whose
// butterflies stay inside such a block run block by block.
constexpr int kBlockValues = 512;

// Radix-2 decimation-in-time complex FFT of the m values of a (already in
// bit-reversed order). sign -1: exponent -2 pi i jk/m; +1: +2 pi i jk/m.
// Not normalised. The loop order only decides which independent butterflies
// run first; every value is computed the same way whatever the order.
void complexFft(double* a, int m, int sign, const Twiddles& tw, int n) {
  const int block = m < kBlockValues ? m : kBlockValues;
  for (int base = 0; base < m; base += block) {
    for (int span = 2; span <= block; span <<= 1) {
      const int half = span / 2;
      const int tStep = n / span;  // angle 2 pi k / span = 2 pi (k tStep) / n
      for (int k = 0; k < half; ++k) {
        double wr, wi;
        tw.at(k * tStep, wr, wi);
        wi *= sign;
        for (int start = base + k; start < base + block; start += span) {
          butterfly(a + 2 * start, a + 2 * (start + half), wr, wi);
        }
      }
    }
  }
  for (int span = 2 * block; span <= m; span <<= 1) {
    const int half = span / 2;
    const int tStep = n / span;
    for (int group = 0; group < m; group += span) {
      for (int k = 0; k < half; ++k) {
        double wr, wi;
        tw.at(k * tStep, wr, wi);
        wi *= sign;
        butterfly(a + 2 * (group + k), a + 2 * (group + k + half), wr, wi);
      }
    }
  }
}

// Forward: from the complex spectrum Z of the packed pairs to the real
// spectrum X (stored as Re X, -Im X). For each k the pair (k, m-k) is done
// together: E = (Z[k] + conj Z[m-k]) / 2, O = (Z[k] - conj Z[m-k]) / 2i,
// X[k] = E + W O, X[m-k] = conj(E - W O), W = exp(-2 pi i k/n).
// Bin m/2 is unchanged in this layout.
void splitForward(double* a, int m, const Twiddles& tw) {
  for (int k = 1; 2 * k < m; ++k) {
    double* zk = a + 2 * k;
    double* zm = a + 2 * (m - k);
    const double er = 0.5 * (zk[0] + zm[0]);
    const double ei = 0.5 * (zk[1] - zm[1]);
    const double orr = 0.5 * (zk[1] + zm[1]);
    const double oi = -0.5 * (zk[0] - zm[0]);
    double c, s;
    tw.at(k, c, s);
    const double wor = c * orr + s * oi;  // (c - i s)(orr + i oi)
    const double woi = c * oi - s * orr;
    zk[0] = er + wor;
    zk[1] = -(ei + woi);
    zm[0] = er - wor;
    zm[1] = ei - woi;
  }
}

// Inverse of splitForward: Z[k] = E + i O with E = (X[k] + conj X[m-k]) / 2
// and O = (X[k] - conj X[m-k]) conj(W) / 2.
void splitInverse(double* a, int m, const Twiddles& tw) {
  for (int k = 1; 2 * k < m; ++k) {
    double* xk = a + 2 * k;
    double* xm = a + 2 * (m - k);
    const double xkr = xk[0], xki = -xk[1];
    const double xmr = xm[0], xmi = -xm[1];
    const double er = 0.5 * (xkr + xmr);
    const double ei = 0.5 * (xki - xmi);
    const double dr = 0.5 * (xkr - xmr);
    const double di = 0.5 * (xki + xmi);
    double c, s;
    tw.at(k, c, s);
    const double orr = dr * c - di * s;  // (dr + i di)(c + i s)
    const double oi = dr * s + di * c;
    xk[0] = er - oi;
    xk[1] = ei + orr;
    xm[0] = er + oi;
    xm[1] = orr - ei;
  }
}

}  // namespace

void rdft(int n, int isgn, double* a, int* ip, double* w) {
  const int m = n / 2;
  if (ip[0] == 0) ip[1] = 0;  // nothing made yet, whatever ip[1] holds
  if (m >= 2) {
    const int quarter = n / 4;
    if (ip[0] < quarter) makeCosineTable(quarter, ip, w);
    const int reversalEntries = 1 << (log2Exact(m) / 2);
    if (ip[1] < reversalEntries) makeBitReversalTable(reversalEntries, ip);
  }
  const Twiddles tw{w, ip[0], m >= 2 ? (4 * ip[0]) / n : 0};

  if (isgn >= 0) {
    if (m >= 2) {
      bitReverse(a, m, ip);
      complexFft(a, m, -1, tw, n);
      splitForward(a, m, tw);
    }
    const double difference = a[0] - a[1];
    a[0] += a[1];
    a[1] = difference;
  } else {
    a[1] = 0.5 * (a[0] - a[1]);
    a[0] -= a[1];
    if (m >= 2) {
      splitInverse(a, m, tw);
      bitReverse(a, m, ip);
      complexFft(a, m, +1, tw, n);
    }
  }
}
