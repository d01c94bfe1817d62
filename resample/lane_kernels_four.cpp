// The kernels in four lanes, built with AVX2 and FMA (fused multiply-add
// allowed); reached only through laneKernels() where the CPU has both.
// Four interpolator outputs and two decimator outputs (each with a sum per
// channel) at once: as many sums as the 8 vector registers of 32-bit x86
// hold beside their operands, and measured fastest on 64-bit as well.

#include <cstdint>
#include <cstring>

#include "resample/fft_convolution_lanes.h"
#include "resample/polyphase_lanes.h"

namespace {

// Puts the upper halves of the vector registers back in their initial
// state once a wide kernel is done. In 32-bit mode VZEROUPPER (which the
// compiler places at every return) clears only YMM0-7, and a processor may
// go on treating the upper state as in use: then every SSE instruction
// after the kernel, the converter's stages as well as the host's and the
// engine's code on the same thread, waits on the upper halves (measured
// three to four times slower). XRSTOR with the AVX bit in the mask and clear
// in the area's header initialises that state for all sixteen registers; it
// leaves the XMM registers alone and loads MXCSR with the value it had.
// Only reached where the operating system enabled the AVX state (the
// run-time check), so XRSTOR is there. In 64-bit mode VZEROUPPER suffices.
void leaveWideState() {
#if defined(__i386__)
  alignas(64) uint8_t area[576] = {};  // legacy region, then the header
  uint32_t mxcsr = 0;
  __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
  std::memcpy(area + 24, &mxcsr, sizeof(mxcsr));
  const uint32_t avxState = 0x4;
  __asm__ volatile("xrstor %0" : : "m"(area), "a"(avxState), "d"(0u) : "memory");
#endif
}

// A table entry: the kernel, then leaveWideState.
template <auto Kernel>
struct ThenLeaveWideState;
template <typename Result, typename... Args, Result (*Kernel)(Args...)>
struct ThenLeaveWideState<Kernel> {
  static Result call(Args... args) {
    struct Leave {
      ~Leave() { leaveWideState(); }
    } leave;
    return Kernel(args...);
  }
};

}  // namespace

const LaneKernels& fourLaneKernels() {
  using lanes::Quad;
  static const LaneKernels kernels{FftLanes::kFour, ThenLeaveWideState<convolveSingleInLanes<Quad>>::call,
                                   ThenLeaveWideState<convolvePairInLanes<Quad>>::call,
                                   ThenLeaveWideState<interpolatePairInLanes<Quad, 4>>::call,
                                   ThenLeaveWideState<decimatePairInLanes<Quad, 2>>::call};
  return kernels;
}
