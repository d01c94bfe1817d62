// The one place that chooses the converter's lanes: by the CPU, where the
// build includes the four-lane kernels (lane_kernels_four.cpp).

#include <cstdlib>

#include "resample/lane_kernels.h"

namespace {

bool cpuHasWideLanes() {
#if defined(RESAMPLE_WIDE_LANES)
  const char* forced = std::getenv("RESAMPLE_FORCE_SSE2");
  if (forced != nullptr && *forced != '\0') return false;
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
  return false;
#endif
}

}  // namespace

FftLanes widestFftLanes() {
  static const FftLanes widest = cpuHasWideLanes() ? FftLanes::kFour : FftLanes::kTwo;
  return widest;
}

const LaneKernels& laneKernels(FftLanes lanes) {
#if defined(RESAMPLE_WIDE_LANES)
  if (lanes == FftLanes::kFour) return fourLaneKernels();
#endif
  (void)lanes;
  return twoLaneKernels();
}
