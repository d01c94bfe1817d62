#include "resample/filter_design.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Factorials {
  Factorials() { fillFactorials(values); }
  double values[31];
};

TEST(FilterDesign, KaiserBetaPiecesAndConstants) {
  EXPECT_EQ(kaiserBeta(170.0), 0.1102 * (170.0 - 8.7));
  EXPECT_NEAR(kaiserBeta(170.0), 17.77526, 1e-12);
  EXPECT_NEAR(kaiserBeta(40.0), 0.5842 * std::pow(19.0, 0.4) + 0.07886 * 19.0, 1e-15);
  EXPECT_EQ(kaiserBeta(21.0), 0.0);
  EXPECT_EQ(kaiserBeta(10.0), 0.0);
  EXPECT_DOUBLE_EQ(kaiserLengthFactor(170.0), 11.284818941504179);
  EXPECT_EQ(kaiserLengthFactor(20.0), 0.9222);
}

TEST(FilterDesign, BesselAndWindowValues) {
  Factorials f;
  EXPECT_EQ(f.values[0], 1.0);
  EXPECT_EQ(f.values[5], 120.0);
  EXPECT_EQ(besselI0(0.0, f.values), 1.0);
  // I0(1) = 1.2660658777520082 (series converges long before 30 terms).
  EXPECT_NEAR(besselI0(1.0, f.values), 1.2660658777520082, 1e-15);
  const double beta = kaiserBeta(170.0);
  const double i0 = besselI0(beta, f.values);
  EXPECT_EQ(kaiserWindow(0, 47, beta, i0, f.values), 1.0);
  EXPECT_EQ(kaiserWindow(23, 47, beta, i0, f.values), 1.0 / i0);
  EXPECT_EQ(kaiserWindow(-23, 47, beta, i0, f.values), 1.0 / i0);
  EXPECT_EQ(kaiserWindow(-5, 47, beta, i0, f.values), kaiserWindow(5, 47, beta, i0, f.values));
  EXPECT_LT(kaiserWindow(10, 47, beta, i0, f.values), kaiserWindow(9, 47, beta, i0, f.values));
}

TEST(FilterDesign, SincAndLowPassTap) {
  EXPECT_EQ(sinc(0.0), 1.0);
  EXPECT_DOUBLE_EQ(sinc(M_PI / 2), 2.0 / M_PI);
  // Centre tap is 2 fc / fs; half-band filter has zeros at even offsets.
  EXPECT_DOUBLE_EQ(lowPassTap(0, 11025.0, 44100.0), 0.5);
  EXPECT_NEAR(lowPassTap(2, 11025.0, 44100.0), 0.0, 1e-16);
  EXPECT_DOUBLE_EQ(lowPassTap(1, 11025.0, 44100.0), 1.0 / M_PI);
  EXPECT_EQ(lowPassTap(-3, 5000.0, 44100.0), lowPassTap(3, 5000.0, 44100.0));
}

TEST(FilterDesign, GreatestCommonDivisor) {
  EXPECT_EQ(gcd(44100, 48000), 300);
  EXPECT_EQ(gcd(48000, 44100), 300);
  EXPECT_EQ(gcd(44100, 8000), 100);
  EXPECT_EQ(gcd(22050, 44100), 22050);
  EXPECT_EQ(gcd(7, 7), 7);
  EXPECT_EQ(gcd(11025, 16000), 25);
}

TEST(FilterDesign, LengthRules) {
  EXPECT_EQ(polyphaseFilterLength(44100.0, 11025.0), 47);     // 46.14 -> 46 -> odd
  EXPECT_EQ(polyphaseFilterLength(3528000.0, 22050.0), 1807);
  EXPECT_EQ(polyphaseFilterLength(7056000.0, 48000.0), 1659);  // already odd
  EXPECT_EQ(polyphaseFilterLength(1e12, 1.0), 0);             // does not fit an int

  int fftLength = 0;
  double transition = 0.0;
  EXPECT_EQ(fftFilterLength(44100, 16384, fftLength, transition), 16383);
  EXPECT_EQ(fftLength, 32768);
  EXPECT_NEAR(transition, 30.378, 5e-4);
  EXPECT_EQ(fftFilterLength(288000, 16384, fftLength, transition), 32767);
  EXPECT_EQ(fftLength, 65536);
  EXPECT_NEAR(transition, 99.189, 5e-4);
  EXPECT_EQ(fftFilterLength(2000000000, 16384, fftLength, transition), 268435455);  // 2^28 - 1
  EXPECT_EQ(fftLength, 536870912);
}

}  // namespace
