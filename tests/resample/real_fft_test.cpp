#include "resample/real_fft.h"

#include "resample/fft_convolution.h"
#include "resample/lane_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

struct FftWork {
  explicit FftWork(int n) : ip(2 + int(std::sqrt(n / 2.0)) + 1, 0), w(n / 2 > 0 ? n / 2 : 1) {}
  std::vector<int> ip;
  std::vector<double> w;
};

std::vector<double> randomSignal(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> x(n);
  for (double& v : x) v = dist(gen);
  return x;
}

// cos and sin of 2 pi t / n for t = 0..n-1, in long double.
struct UnitCircle {
  explicit UnitCircle(int n) : cosine(n), sine(n) {
    const long double pi = 3.141592653589793238462643383279502884L;
    for (int t = 0; t < n; ++t) {
      cosine[t] = std::cos(2 * pi * t / n);
      sine[t] = std::sin(2 * pi * t / n);
    }
  }
  std::vector<long double> cosine, sine;
};

// The forward transform's layout, computed directly in long double.
std::vector<long double> directForward(const std::vector<double>& x) {
  const int n = int(x.size());
  const UnitCircle circle(n);
  std::vector<long double> out(n);
  for (int k = 0; k <= n / 2; ++k) {
    long double re = 0, im = 0;
    for (int j = 0; j < n; ++j) {
      const int t = int((long long)j * k % n);
      re += x[j] * circle.cosine[t];
      im += x[j] * circle.sine[t];
    }
    if (k == 0) out[0] = re;
    else if (k == n / 2) out[1] = re;
    else {
      out[2 * k] = re;
      out[2 * k + 1] = im;
    }
  }
  return out;
}

std::vector<long double> directInverse(const std::vector<double>& spectrum) {
  const int n = int(spectrum.size());
  const UnitCircle circle(n);
  std::vector<long double> out(n);
  for (int j = 0; j < n; ++j) {
    long double sum = (spectrum[0] + spectrum[1] * ((j % 2) ? -1.0L : 1.0L)) / 2;
    for (int k = 1; k < n / 2; ++k) {
      const int t = int((long long)j * k % n);
      sum += spectrum[2 * k] * circle.cosine[t] + spectrum[2 * k + 1] * circle.sine[t];
    }
    out[j] = sum;
  }
  return out;
}

const int kLengths[] = {2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096};

TEST(RealFft, ForwardMatchesDirectTransform) {
  for (int n : kLengths) {
    SCOPED_TRACE(n);
    std::vector<double> x = randomSignal(n, 1000 + n);
    const std::vector<long double> expected = directForward(x);
    FftWork work(n);
    rdft(n, 1, x.data(), work.ip.data(), work.w.data());
    // Error of an FFT grows like log n; scale by the signal's size.
    const double tolerance = 1e-15 * std::sqrt(double(n)) * 8 * std::log2(2.0 * n);
    for (int i = 0; i < n; ++i) ASSERT_NEAR(x[i], double(expected[i]), tolerance) << "index " << i;
  }
}

TEST(RealFft, InverseMatchesDirectTransform) {
  for (int n : kLengths) {
    SCOPED_TRACE(n);
    std::vector<double> spectrum = randomSignal(n, 2000 + n);
    const std::vector<long double> expected = directInverse(spectrum);
    FftWork work(n);
    rdft(n, -1, spectrum.data(), work.ip.data(), work.w.data());
    const double tolerance = 1e-15 * std::sqrt(double(n)) * 8 * std::log2(2.0 * n);
    for (int i = 0; i < n; ++i) ASSERT_NEAR(spectrum[i], double(expected[i]), tolerance) << "index " << i;
  }
}

TEST(RealFft, ImpulseGivesFlatSpectrum) {
  for (int n : {2, 8, 1024, 32768}) {
    SCOPED_TRACE(n);
    std::vector<double> a(n, 0.0);
    a[0] = 1.0;
    FftWork work(n);
    rdft(n, 1, a.data(), work.ip.data(), work.w.data());
    EXPECT_EQ(a[0], 1.0);
    EXPECT_EQ(a[1], 1.0);
    for (int k = 1; k < n / 2; ++k) {
      ASSERT_NEAR(a[2 * k], 1.0, 1e-15) << k;
      ASSERT_NEAR(a[2 * k + 1], 0.0, 1e-15) << k;
    }
  }
}

TEST(RealFft, ConstantGoesToZeroFrequencyOnly) {
  for (int n : {4, 64, 32768}) {
    SCOPED_TRACE(n);
    const double c = 0.375;
    std::vector<double> a(n, c);
    FftWork work(n);
    rdft(n, 1, a.data(), work.ip.data(), work.w.data());
    EXPECT_NEAR(a[0], n * c, 1e-12 * n);
    for (int i = 1; i < n; ++i) ASSERT_NEAR(a[i], 0.0, 1e-12) << i;
  }
}

TEST(RealFft, ForwardThenInverseScalesByHalfLength) {
  for (int n : {2, 4, 16, 4096, 65536}) {
    SCOPED_TRACE(n);
    const std::vector<double> x = randomSignal(n, 3000 + n);
    std::vector<double> a = x;
    FftWork work(n);
    rdft(n, 1, a.data(), work.ip.data(), work.w.data());
    rdft(n, -1, a.data(), work.ip.data(), work.w.data());
    for (int i = 0; i < n; ++i) ASSERT_NEAR(a[i], x[i] * (n / 2), 1e-12 * n) << i;
  }
}

TEST(RealFft, SecondCallReusesTablesAndIsBitIdentical) {
  const int n = 32768;
  const std::vector<double> x = randomSignal(n, 77);
  FftWork work(n);
  std::vector<double> first = x;
  rdft(n, 1, first.data(), work.ip.data(), work.w.data());
  ASSERT_NE(work.ip[0], 0);
  const std::vector<int> ipAfterFirst = work.ip;
  std::vector<double> second = x;
  rdft(n, 1, second.data(), work.ip.data(), work.w.data());
  EXPECT_EQ(work.ip, ipAfterFirst);
  EXPECT_EQ(0, std::memcmp(first.data(), second.data(), n * sizeof(double)));

  // Tables made for a longer transform serve a shorter one.
  std::vector<double> shortSignal = randomSignal(256, 5);
  std::vector<double> withOwnTables = shortSignal;
  FftWork shortWork(256);
  rdft(256, 1, withOwnTables.data(), shortWork.ip.data(), shortWork.w.data());
  rdft(256, 1, shortSignal.data(), work.ip.data(), work.w.data());
  EXPECT_EQ(work.ip, ipAfterFirst);
  for (int i = 0; i < 256; ++i) ASSERT_NEAR(shortSignal[i], withOwnTables[i], 1e-13);
}

TEST(RealFft, SpectralProductIsCircularConvolution) {
  const int n = 64;
  std::vector<double> x = randomSignal(n, 11), h(n, 0.0);
  h[0] = 0.5;
  h[3] = -0.25;
  h[n - 1] = 1.0;  // wraps around
  std::vector<double> expected(n, 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) expected[(i + j) % n] += x[i] * h[j];
  FftWork work(n);
  std::vector<double> a = x, hs = h;
  rdft(n, 1, a.data(), work.ip.data(), work.w.data());
  rdft(n, 1, hs.data(), work.ip.data(), work.w.data());
  a[0] *= hs[0];
  a[1] *= hs[1];
  for (int k = 1; k < n / 2; ++k) {
    const double re = a[2 * k], im = a[2 * k + 1];
    a[2 * k] = hs[2 * k] * re - hs[2 * k + 1] * im;
    a[2 * k + 1] = hs[2 * k + 1] * re + hs[2 * k] * im;
  }
  rdft(n, -1, a.data(), work.ip.data(), work.w.data());
  for (int i = 0; i < n; ++i) ASSERT_NEAR(a[i] * 2.0 / n, expected[i], 1e-14) << i;
}

// The two-channel form must give each channel exactly the bits of the
// one-channel transform, in both directions and for every length.
TEST(RealFft, PairTransformIsBitIdenticalPerChannel) {
  for (int n : {2, 4, 8, 64, 1024, 32768}) {
    SCOPED_TRACE(n);
    for (int isgn : {1, -1}) {
      std::vector<double> left = randomSignal(n, 4000 + n), right = randomSignal(n, 5000 + n);
      alignas(16) static double interleaved[2 * 32768];
      for (int j = 0; j < n; ++j) {
        interleaved[2 * j] = left[j];
        interleaved[2 * j + 1] = right[j];
      }
      FftWork work(n);
      rdft(n, isgn, left.data(), work.ip.data(), work.w.data());
      rdft(n, isgn, right.data(), work.ip.data(), work.w.data());
      rdftPair(n, isgn, interleaved, work.ip.data(), work.w.data());
      for (int j = 0; j < n; ++j) {
        ASSERT_EQ(0, std::memcmp(&interleaved[2 * j], &left[j], sizeof(double))) << j;
        ASSERT_EQ(0, std::memcmp(&interleaved[2 * j + 1], &right[j], sizeof(double))) << j;
      }
    }
  }
}

}  // namespace

namespace {

// The block convolution, one channel and two interleaved channels at once,
// in every lane width this machine runs, against the direct circular
// convolution (the blocks' upper halves are zero, as the filter needs).
TEST(BlockConvolution, IsCircularConvolutionForEveryLengthAndLaneWidth) {
  for (FftLanes lanes : {FftLanes::kTwo, widestFftLanes()}) {
    for (int n = 16; n <= 4096; n *= 2) {
      SCOPED_TRACE(n);
      const std::vector<double> h = randomSignal(n, 100 + n);
      std::vector<double> left = randomSignal(n, 200 + n), right = randomSignal(n, 300 + n);
      std::fill(left.begin() + n / 2, left.end(), 0.0);
      std::fill(right.begin() + n / 2, right.end(), 0.0);
      FftWork work(n);
      std::vector<double> spectrum = h, filter(size_t(convolutionFilterSize(n)));
      for (double& v : spectrum) v *= 2.0 / n;  // the inverse's missing factor
      rdft(n, 1, spectrum.data(), work.ip.data(), work.w.data());
      makeConvolutionFilter(n, spectrum.data(), filter.data(), lanes);
      alignas(32) static double pair[2 * 4096], area[2 * 4096];
      // The pair's upper halves are never read: NaN there would show.
      for (int j = 0; j < n; ++j) {
        pair[2 * j] = j < n / 2 ? left[j] : std::nan("");
        pair[2 * j + 1] = j < n / 2 ? right[j] : std::nan("");
      }
      std::vector<double> one = left, first(n), second(n);
      laneKernels(lanes).convolveBlock(n, one.data(), area, filter.data(), work.ip.data(), work.w.data());
      laneKernels(lanes).convolveBlockPair(n, pair, filter.data(), work.ip.data(), work.w.data(), first.data(),
                                           second.data());
      for (int i = 0; i < n; ++i) {
        long double expectedLeft = 0, expectedRight = 0;
        for (int j = 0; j < n / 2; ++j) {
          expectedLeft += (long double)left[j] * h[(i - j + n) % n];
          expectedRight += (long double)right[j] * h[(i - j + n) % n];
        }
        ASSERT_NEAR(one[i], double(expectedLeft), 1e-11) << i;
        ASSERT_NEAR(first[i], double(expectedLeft), 1e-11) << i;
        ASSERT_NEAR(second[i], double(expectedRight), 1e-11) << i;
      }
    }
  }
}

}  // namespace
