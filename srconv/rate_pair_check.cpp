#include "rate_pair_check.h"

#include <climits>
#include <cstdint>

#include "sample_rate_converter.h"

namespace {

int greatestCommonDivisor(int a, int b) {
  while (b != 0) {
    int rest = a % b;
    a = b;
    b = rest;
  }
  return a;
}

std::string pairText(int inputRate, int outputRate) {
  return std::to_string(inputRate) + " -> " + std::to_string(outputRate) + " Hz";
}

}  // namespace

std::string refusalReason(const PcmFormat& input, int outputRate) {
  int bytesPerSample = input.bitsPerSample / 8;
  if (input.bitsPerSample % 8 != 0 || bytesPerSample < 1 || bytesPerSample > 3)
    return std::to_string(input.bitsPerSample) + "-bit samples are not supported (8, 16 or 24 only)";
  if (input.channels < 1) return "the input has no channels";
  if (input.sampleRate < 1 || outputRate < 1) return "sample rates must be positive";

  int in = input.sampleRate, out = outputRate;
  int gcd = greatestCommonDivisor(in, out);
  bool upsampling = in < out;
  int reducedFactor = upsampling ? in / gcd : out / gcd;
  int oversampling = 0;
  if (reducedFactor == 1)
    oversampling = 1;
  else if (reducedFactor % 2 == 0)
    oversampling = 2;
  else if (reducedFactor % 3 == 0)
    oversampling = 3;
  else
    return "unsupported rate pair " + pairText(in, out) + " (reduced ratio " + std::to_string(in / gcd) + ":" +
           std::to_string(out / gcd) + " needs oversampling by " + std::to_string(reducedFactor) + ")";

  if (upsampling && int64_t(out) * oversampling > int64_t(in) * kMaxUpsamplingRatio)
    return "unsupported rate pair " + pairText(in, out) + " (up-sampling by more than " +
           std::to_string(kMaxUpsamplingRatio) + " times)";

  // The filter design rates: the least common multiple of the two rates and
  // the faster rate times the oversampling factor.
  int64_t commonMultiple = int64_t(in / gcd) * out;
  int64_t oversampledRate = int64_t(upsampling ? out : in) * oversampling;
  if (commonMultiple > INT_MAX || oversampledRate > INT_MAX)
    return "unsupported rate pair " + pairText(in, out) + " (its filter design rate would exceed " +
           std::to_string(INT_MAX) + " Hz)";
  return "";
}
