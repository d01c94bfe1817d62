// The one place that chooses the converter's lanes: by the CPU and the
// operating system, where the build includes the four-lane kernels
// (lane_kernels_four.cpp).

#include <atomic>
#include <cstdlib>

#include "resample/lane_kernels.h"

#if defined(RESAMPLE_WIDE_LANES)
#include <cpuid.h>
#endif

namespace {

#if defined(RESAMPLE_WIDE_LANES)
// AVX2 and FMA in the processor, and an operating system that saves the
// 256-bit registers on a task switch (it sets OSXSAVE and enables the SSE
// and AVX state in XCR0). Windows XP and older kernels do not: there the
// wide instructions would fault, so they keep the SSE2 kernels.
bool processorAndSystemRunWideLanes() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  const unsigned needed = bit_OSXSAVE | bit_AVX | bit_FMA;
  if ((ecx & needed) != needed) return false;
  unsigned stateLow = 0, stateHigh = 0;
  __asm__ volatile("xgetbv" : "=a"(stateLow), "=d"(stateHigh) : "c"(0));
  const unsigned sseAndAvxState = 0x6;
  if ((stateLow & sseAndAvxState) != sseAndAvxState) return false;
  if (__get_cpuid_max(0, nullptr) < 7) return false;
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  return (ebx & bit_AVX2) != 0;
}
#endif

bool cpuHasWideLanes() {
#if defined(RESAMPLE_WIDE_LANES)
  // RESAMPLE_FORCE_SSE2 (any non-empty value) keeps the SSE2 kernels, so a
  // machine with AVX2 tests and measures the path older machines take.
  const char* forced = std::getenv("RESAMPLE_FORCE_SSE2");
  if (forced != nullptr && *forced != '\0') return false;
  return processorAndSystemRunWideLanes();
#else
  return false;
#endif
}

}  // namespace

FftLanes widestFftLanes() {
  // Worked out on first use; two threads that race only work out the same
  // answer twice. An atomic rather than a function-local static with a
  // guard: the guard makes the C++ runtime create a lock of its own, which
  // nothing frees when a library holding this code is unloaded.
  static std::atomic<int> known{0};  // 0: not yet, else the FftLanes value + 1
  int value = known.load(std::memory_order_relaxed);
  if (value == 0) {
    value = int(cpuHasWideLanes() ? FftLanes::kFour : FftLanes::kTwo) + 1;
    known.store(value, std::memory_order_relaxed);
  }
  return FftLanes(value - 1);
}

const LaneKernels& laneKernels(FftLanes lanes) {
#if defined(RESAMPLE_WIDE_LANES)
  if (lanes == FftLanes::kFour) return fourLaneKernels();
#endif
  (void)lanes;
  return twoLaneKernels();
}
