#pragma once
// The analysis transform of a 512-sample block (256 new samples) under the
// Kaiser-Bessel-derived window, giving 256 coefficients scaled so that the
// decoder's inverse transform restores the input level.
#include "ac3/ac3_tables.h"

namespace ac3 {

class Mdct {
 public:
  Mdct();
  // `input` holds 512 samples, the previous block's 256 then the new 256,
  // in the range [-1, 1). Writes 256 coefficients.
  void transform(const float* input, float* coefs) const;

 private:
  void fft128(float* re, float* im) const;

  float window[512];
  float preCos[128], preSin[128];
  float postCos[128], postSin[128];
  // Each pass's twiddles side by side (1 + 2 + ... + 64 of them), so a
  // pass reads them in order and its butterflies vectorise.
  float twiddleCos[127], twiddleSin[127];
  uint8_t bitReverse[128];
};

}  // namespace ac3
