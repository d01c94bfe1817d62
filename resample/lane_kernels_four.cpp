// The kernels in four lanes, built with AVX2 and FMA (fused multiply-add
// allowed); reached only through laneKernels() where the CPU has both.

#include "resample/fft_convolution_lanes.h"
#include "resample/polyphase_lanes.h"

const LaneKernels& fourLaneKernels() {
  using lanes::Quad;
  static const LaneKernels kernels{FftLanes::kFour, convolveSingleInLanes<Quad>, convolvePairInLanes<Quad>,
                                   interpolatePairInLanes<Quad, 4>, decimatePairInLanes<Quad, 4>};
  return kernels;
}
