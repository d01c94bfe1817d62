#pragma once

// Kaiser-windowed low-pass design for the sample-rate converter. Everything
// is in doubles with the evaluation order fixed, so that every build makes
// the same taps.

// Stop-band attenuation of every filter of the converter, in dB.
constexpr double kStopBandDb = 170.0;

// 2 pi as the filters use it.
constexpr double kTwoPi = 6.283185307179586;

// Kaiser's beta for a stop-band attenuation of `attenuationDb`.
double kaiserBeta(double attenuationDb);

// Kaiser's length factor D = (A - 7.95) / 14.36 (0.9222 for A <= 21): a
// filter at rate fs with transition width tw needs about fs / tw * D taps.
double kaiserLengthFactor(double attenuationDb);

// factorials[k] = k! for k = 0..30.
void fillFactorials(double factorials[31]);

// Modified Bessel function of the first kind, order 0: exactly 30 terms of
// its power series, 1 + sum_k ((x/2)^k / k!)^2.
double besselI0(double x, const double factorials[31]);

// Kaiser window at tap offset n from the centre of an N-tap filter (N odd).
double kaiserWindow(int n, int length, double beta, double besselI0OfBeta, const double factorials[31]);

// sin(x) / x, and exactly 1 at 0.
double sinc(double x);

// Ideal low-pass tap at integer offset n for cut-off fc at rate fs (Hz).
double lowPassTap(int n, double cutoffHz, double sampleRateHz);

// Receives the taps of a windowed-sinc design, each with its index.
class TapSink {
 public:
  virtual void put(int index, double tap) = 0;

 protected:
  ~TapSink() = default;
};

// The low-pass of `length` taps (odd) for cut-off fc at rate fs, Kaiser-
// windowed for kStopBandDb: tap j is lowPassTap(j - (N - 1) / 2) times the
// window there, handed to `sink` (every index once, the centre twice).
void windowedSincLowPass(int length, double cutoffHz, double sampleRateHz, TapSink& sink);

// Greatest common divisor by Euclid (both arguments > 0).
int gcd(int a, int b);

// Odd tap count of a polyphase prototype at rate fs with transition width
// tw: trunc(fs / tw * D + 1), made odd. Returns 0 when it does not fit an int.
int polyphaseFilterLength(double sampleRateHz, double transitionHz);

// The FFT filter's length: the first N = base * 2^i - 1 whose transition
// width fs * D / (N - 1) is below 100 Hz. `fftLength` receives the FFT
// length, twice the smallest power of two >= N; `transitionHz` the width.
// Returns 0 when no such length fits an int.
int fftFilterLength(int sampleRateHz, int base, int& fftLength, double& transitionHz);
