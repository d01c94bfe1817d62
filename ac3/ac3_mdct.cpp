#include "ac3/ac3_mdct.h"

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ac3 {

namespace {

constexpr int kN = 512;
constexpr int kHalf = kN / 2;      // coefficients per block (the DCT-IV size)
constexpr int kQuarter = kN / 4;   // complex FFT size
constexpr double kPi = 3.14159265358979323846;
constexpr double kWindowAlpha = 5.0;

double besselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 60; ++k) {
    const double half = x / (2.0 * k);
    term *= half * half;
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

// `half` butterflies between a[k] and b[k] = a[k + half] (k < half).
void butterflies(float* re, float* im, int half, const float* wCos, const float* wSin) {
  int k = 0;
#if defined(__SSE2__)
  // Four at a time, with the same operations in the same order as below.
  for (; k + 4 <= half; k += 4) {
    const __m128 wr = _mm_loadu_ps(wCos + k), wi = _mm_loadu_ps(wSin + k);
    const __m128 br = _mm_loadu_ps(re + half + k), bi = _mm_loadu_ps(im + half + k);
    const __m128 ar = _mm_loadu_ps(re + k), ai = _mm_loadu_ps(im + k);
    const __m128 xr = _mm_sub_ps(_mm_mul_ps(br, wr), _mm_mul_ps(bi, wi));
    const __m128 xi = _mm_add_ps(_mm_mul_ps(br, wi), _mm_mul_ps(bi, wr));
    _mm_storeu_ps(re + half + k, _mm_sub_ps(ar, xr));
    _mm_storeu_ps(im + half + k, _mm_sub_ps(ai, xi));
    _mm_storeu_ps(re + k, _mm_add_ps(ar, xr));
    _mm_storeu_ps(im + k, _mm_add_ps(ai, xi));
  }
#endif
  for (; k < half; ++k) {
    const int b = k + half;
    const float xr = re[b] * wCos[k] - im[b] * wSin[k];
    const float xi = re[b] * wSin[k] + im[b] * wCos[k];
    re[b] = re[k] - xr, im[b] = im[k] - xi;
    re[k] += xr, im[k] += xi;
  }
}

}  // namespace

Mdct::Mdct() {
  // Kaiser-Bessel-derived window: running sums of a 257-point Kaiser window.
  double kaiser[kHalf + 1];
  double total = 0.0;
  for (int j = 0; j <= kHalf; ++j) {
    const double r = (j - kHalf / 2.0) / (kHalf / 2.0);
    kaiser[j] = besselI0(kPi * kWindowAlpha * std::sqrt(1.0 - r * r));
    total += kaiser[j];
  }
  double running = 0.0;
  for (int n = 0; n < kHalf; ++n) {
    running += kaiser[n];
    const float w = static_cast<float>(std::sqrt(running / total));
    window[n] = w;
    window[kN - 1 - n] = w;
  }
  // The standard's forward transform is -2/N times the plain MDCT.
  const double scale = -2.0 / kN;
  const double rootScale = std::sqrt(std::fabs(scale));
  for (int n = 0; n < kQuarter; ++n) {
    const double a = -kPi * (4 * n + 1) / (4.0 * kHalf);
    preCos[n] = static_cast<float>(std::cos(a) * rootScale);
    preSin[n] = static_cast<float>(std::sin(a) * rootScale);
    const double b = -kPi * n / kHalf;
    postCos[n] = static_cast<float>(std::cos(b) * rootScale * (scale < 0 ? -1 : 1));
    postSin[n] = static_cast<float>(std::sin(b) * rootScale * (scale < 0 ? -1 : 1));
  }
  for (int half = 1, at = 0; half < kQuarter; half <<= 1) {
    const int step = kQuarter / (2 * half);
    for (int k = 0; k < half; ++k, ++at) {
      twiddleCos[at] = static_cast<float>(std::cos(-2.0 * kPi * k * step / kQuarter));
      twiddleSin[at] = static_cast<float>(std::sin(-2.0 * kPi * k * step / kQuarter));
    }
  }
  for (int i = 0; i < kQuarter; ++i) {
    int r = 0;
    for (int bit = 0; bit < 7; ++bit) r |= ((i >> bit) & 1) << (6 - bit);
    bitReverse[i] = static_cast<uint8_t>(r);
  }
}

void Mdct::fft128(float* re, float* im) const {
  for (int i = 0; i < kQuarter; ++i) {
    const int j = bitReverse[i];
    if (j > i) {
      const float tr = re[i], ti = im[i];
      re[i] = re[j], im[i] = im[j];
      re[j] = tr, im[j] = ti;
    }
  }
  const float* wCos = twiddleCos;
  const float* wSin = twiddleSin;
  for (int half = 1; half < kQuarter; wCos += half, wSin += half, half <<= 1) {
    for (int start = 0; start < kQuarter; start += 2 * half) {
      butterflies(re + start, im + start, half, wCos, wSin);
    }
  }
}

void Mdct::transform(const float* input, float* coefs) const {
  // Fold the windowed 512 samples (quarters a b c d) into the 256-point
  // DCT-IV input (-c_r - d, a - b_r).
  float folded[kHalf];
  for (int m = 0; m < kQuarter; ++m) {
    const int d = 3 * kQuarter + m, cr = 3 * kQuarter - 1 - m;
    folded[m] = -input[cr] * window[cr] - input[d] * window[d];
    const int a = m, br = kHalf - 1 - m;
    folded[kQuarter + m] = input[a] * window[a] - input[br] * window[br];
  }
  // DCT-IV through a quarter-length complex FFT: pair even samples with
  // mirrored odd ones, rotate, transform, rotate back.
  float re[kQuarter], im[kQuarter];
  for (int n = 0; n < kQuarter; ++n) {
    const float x = folded[2 * n], y = folded[kHalf - 1 - 2 * n];
    re[n] = x * preCos[n] - y * preSin[n];
    im[n] = x * preSin[n] + y * preCos[n];
  }
  fft128(re, im);
  for (int k = 0; k < kQuarter; ++k) {
    const float yr = re[k] * postCos[k] - im[k] * postSin[k];
    const float yi = re[k] * postSin[k] + im[k] * postCos[k];
    coefs[2 * k] = yr;
    coefs[kHalf - 1 - 2 * k] = -yi;
  }
}

}  // namespace ac3
