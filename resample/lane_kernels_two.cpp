// The kernels in two lanes (SSE2): every build, every CPU. Four outputs of
// the interpolator and two of the decimator at once fit the 8 vector
// registers of the 32-bit target.

#include "resample/fft_convolution_lanes.h"
#include "resample/polyphase_lanes.h"

const LaneKernels& twoLaneKernels() {
  using lanes::Pair;
  static const LaneKernels kernels{FftLanes::kTwo, convolveSingleInLanes<Pair>, convolvePairInLanes<Pair>,
                                   interpolatePairInLanes<Pair, 4>, decimatePairInLanes<Pair, 2>};
  return kernels;
}
