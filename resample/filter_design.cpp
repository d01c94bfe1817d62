#include "resample/filter_design.h"

#include <climits>
#include <cmath>

double kaiserBeta(double attenuationDb) {
  if (attenuationDb > 50.0) return 0.1102 * (attenuationDb - 8.7);
  if (attenuationDb > 21.0) {
    return 0.5842 * std::pow(attenuationDb - 21.0, 0.4) + 0.07886 * (attenuationDb - 21.0);
  }
  return 0.0;
}

double kaiserLengthFactor(double attenuationDb) {
  return attenuationDb > 21.0 ? (attenuationDb - 7.95) / 14.36 : 0.9222;
}

void fillFactorials(double factorials[31]) {
  factorials[0] = 1.0;
  for (int k = 1; k <= 30; ++k) factorials[k] = factorials[k - 1] * k;
}

double besselI0(double x, const double factorials[31]) {
  const double half = x / 2.0;
  double sum = 1.0;
  for (int k = 1; k <= 30; ++k) {
    const double term = std::pow(half, k) / factorials[k];
    sum += term * term;
  }
  return sum;
}

double kaiserWindow(int n, int length, double beta, double besselI0OfBeta, const double factorials[31]) {
  const double span = double(length - 1) * double(length - 1);  // exact below 2^53
  const double offset = 4.0 * double(n) * double(n);
  return besselI0(beta * std::sqrt(1.0 - offset / span), factorials) / besselI0OfBeta;
}

double sinc(double x) { return x == 0.0 ? 1.0 : std::sin(x) / x; }

double lowPassTap(int n, double cutoffHz, double sampleRateHz) {
  const double period = 1.0 / sampleRateHz;
  return sinc(double(n) * (kTwoPi * cutoffHz) * period) * (2.0 * cutoffHz * period);
}

void windowedSincLowPass(int length, double cutoffHz, double sampleRateHz, TapSink& sink) {
  double factorials[31];
  fillFactorials(factorials);
  const double beta = kaiserBeta(kStopBandDb);
  const double besselOfBeta = besselI0(beta, factorials);
  const int centre = (length - 1) / 2;
  // One window evaluation serves taps j and length - 1 - j (it depends on
  // n * n only); the sinc is evaluated for each.
  for (int j = 0; j <= centre; ++j) {
    const int n = j - centre;
    const double window = kaiserWindow(n, length, beta, besselOfBeta, factorials);
    sink.put(j, lowPassTap(n, cutoffHz, sampleRateHz) * window);
    sink.put(length - 1 - j, lowPassTap(-n, cutoffHz, sampleRateHz) * window);
  }
}

int gcd(int a, int b) {
  while (b != 0) {
    const int rest = a % b;
    a = b;
    b = rest;
  }
  return a;
}

int polyphaseFilterLength(double sampleRateHz, double transitionHz) {
  const double taps = sampleRateHz / transitionHz * kaiserLengthFactor(kStopBandDb) + 1.0;
  if (!(taps >= 1.0) || taps >= double(INT_MAX - 1)) return 0;
  int length = int(taps);
  if (length % 2 == 0) ++length;
  return length;
}

int fftFilterLength(int sampleRateHz, int base, int& fftLength, double& transitionHz) {
  const double factor = kaiserLengthFactor(kStopBandDb);
  for (long long blocks = base; blocks - 1 <= INT_MAX / 4; blocks *= 2) {
    const int length = int(blocks - 1);
    transitionHz = double(sampleRateHz) * factor / double(length - 1);
    if (transitionHz < 100.0) {
      long long power = 1;
      while (power < length) power *= 2;
      fftLength = int(2 * power);
      return length;
    }
  }
  return 0;
}
