#include "ac3/ac3_rematrix.h"

#include <algorithm>

namespace ac3 {

void rematrixBlock(float* left, float* right, int end, bool* flags) {
  for (int band = 0; band < kRematrixBands; ++band) {
    const int first = kRematrixBandStart[band];
    const int last = std::min<int>(kRematrixBandStart[band + 1], end);
    double l2 = 0, r2 = 0, sum2 = 0, diff2 = 0;
    for (int i = first; i < last; ++i) {
      const double l = left[i], r = right[i];
      l2 += l * l;
      r2 += r * r;
      sum2 += (l + r) * (l + r);
      diff2 += (l - r) * (l - r);
    }
    // The sum and difference are halved: compare a quarter of their energy.
    flags[band] = std::min(sum2, diff2) * 0.25 < std::min(l2, r2);
  }
  rematrixRange(left, right, 0, end, flags);
}

void rematrixRange(float* left, float* right, int from, int to, const bool* flags) {
  for (int band = 0; band < kRematrixBands; ++band) {
    if (!flags[band]) continue;
    const int first = std::max<int>(kRematrixBandStart[band], from);
    const int last = std::min<int>(kRematrixBandStart[band + 1], to);
    for (int i = first; i < last; ++i) {
      const float l = left[i], r = right[i];
      left[i] = 0.5f * (l + r);
      right[i] = 0.5f * (l - r);
    }
  }
}

}  // namespace ac3
