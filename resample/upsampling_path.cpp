// The up-sampling path: the interpolator, the FFT low-pass (stage_context)
// and the decimation by q with overlap-add.

#include "resample/upsampling_path.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "resample/fft_lanes.h"
#include "resample/lane_kernels.h"
#include "resample/nothrow_arrays.h"

bool UpsamplingPath::make() {
  if (!allocate()) return false;
  // Cycle of the interpolator: the input frame advances where the row index
  // wraps below the step.
  const int cycle = design.phases * design.oversampling;
  const int64_t step = design.polyphaseRate / design.fftRate;
  for (int i = 0; i < cycle; ++i) {
    phaseIndex[i] = polyphaseRow(i, step, design.phases);
    inputStep[i] = phaseIndex[i] < step ? stages.channels() : 0;
  }
  // The zero frames already in inputSamples stand in for the history the
  // interpolator needs before the first input frame.
  inputFill = (design.polyphaseTaps / 2) / design.phases + 1;
  return true;
}

bool UpsamplingPath::allocate() {
  const int64_t tailFrames = plan.fftHop / design.oversampling + 1;
  const int64_t cycle = int64_t(design.phases) * design.oversampling;
  return allocateZeroed(phaseIndex, cycle) && allocateZeroed(inputStep, cycle) &&
         allocatePerChannel(overlapTail, stages.channels(), tailFrames) &&
         stages.allocateBlockBuffers(int64_t(plan.fftHop) + design.tapsPerPhase, tailFrames);
}

BlockCursor UpsamplingPath::cursor() const { return BlockCursor{inputFill, gridPosition, 0}; }

// The block fills inputSamples to floor(hop * in / (out * q)) + 1 + T
// frames, and further when one of its fftHop intermediate samples reads a
// later frame with a tap that carries weight: a frame not given yet would
// count as silence there.
int UpsamplingPath::framesWanted(const BlockCursor& cursor) const {
  const double needed = std::floor(double(plan.fftHop) * design.inputRate / (design.outputRate * design.oversampling)) +
                        1.0 + design.tapsPerPhase - cursor.framesHeld;
  return std::max(int(needed), framesReached(cursor.gridPosition) - cursor.framesHeld);
}

void UpsamplingPath::advance(BlockCursor& cursor) const {
  const int filled = cursor.framesHeld + framesWanted(cursor);
  const int position = cursor.gridPosition + advancePerBlock();
  const int shift = shiftFrames(position);
  cursor.framesHeld = filled - shift;
  cursor.gridPosition = position - shift * design.phases;
}

int UpsamplingPath::runBlock(uint8_t*& outPointer, bool endFlag, int framesWanted, int framesRead) {
  const int ch = stages.channels();
  double* samples = stages.inputSamples();
  stages.takeInput(samples + size_t(inputFill) * ch, framesRead, framesWanted, endFlag);
  inputFill += framesWanted;

  // Every channel starts from the same frame, phase and decimation offset.
  // The first frame at or after gridPosition on the polyphase grid is
  // ceil(gridPosition / P); 64-bit because inputRate * position may pass 2^31.
  const int64_t firstFrame =
      (int64_t(design.inputRate) * (gridPosition - 1) + design.polyphaseRate) / design.polyphaseRate;
  int phaseAfter = phase;
  int offsetAfter = decimationOffset;
  int framesMade = 0;
  // Channels go through the FFT filter in pairs, in the lanes of one
  // two-lane transform; an odd last channel alone.
  for (int c = 0; c < ch; c += 2) {
    const bool paired = c + 1 < ch;
    if (paired) {
      phaseAfter = interpolatePair(c, firstFrame);
      stages.filterPair(c);
      framesMade = decimatePair(c, offsetAfter);
    } else {
      phaseAfter = interpolateChannel(c, firstFrame);
      stages.filterChannel(c);
      framesMade = decimateChannel(c, offsetAfter);
    }
  }
  phase = phaseAfter;
  decimationOffset = offsetAfter;
  gridPosition += advancePerBlock();

  const int emittedBytes = stages.emit(outPointer, framesMade);
  if (!stages.finished()) {
    // Keep the frames from the one before the next block's first frame on.
    const int shift = shiftFrames(gridPosition);
    std::memmove(samples, samples + size_t(shift) * ch, size_t(inputFill - shift) * ch * sizeof(double));
    inputFill -= shift;
    gridPosition -= shift * design.phases;
  }
  return emittedBytes;
}

// The interpolator for one channel: fftHop samples at the FFT filter's rate
// (q * outputRate), each the inner product of one phase row with
// consecutive input frames. Returns the phase after the block.
int UpsamplingPath::interpolateChannel(int channel, int64_t firstFrame) {
  const int ch = stages.channels();
  const int taps = design.tapsPerPhase;
  const int cycle = design.phases * design.oversampling;
  const double* const* rows = stages.polyphaseRows();
  const double* x = stages.inputSamples() + channel;
  double* out = stages.fftBlock(channel);
  int64_t frame = firstFrame;
  int at = phase;
  for (int p = 0; p < plan.fftHop; ++p) {
    const double* row = rows[phaseIndex[at]];
    const double* window = x + frame * ch;
    double sum = 0.0;
    for (int t = 0; t < taps; ++t) sum += row[t] * window[int64_t(t) * ch];
    out[p] = sum;
    frame += inputStep[at] != 0 ? 1 : 0;  // no branch: the pattern is too long to predict
    if (++at == cycle) at = 0;
  }
  return at;
}

// interpolateChannel for channels `channel` and `channel + 1` in vector
// lanes: neighbours in the interleaved input, each sum taken term by term.
// The samples go interleaved into pairBlock (the lower halves of the two
// blocks, all that filterPair reads).
int UpsamplingPath::interpolatePair(int channel, int64_t firstFrame) {
  const PairInterpolation job{stages.polyphaseRows(),
                              phaseIndex.get(),
                              inputStep.get(),
                              design.phases * design.oversampling,
                              design.tapsPerPhase,
                              stages.inputSamples() + channel,
                              stages.channels(),
                              firstFrame,
                              phase,
                              plan.fftHop,
                              stages.pairBlock()};
  return stages.kernels().interpolatePair(job);
}

// Overlap-add of the block's first half with the previous block's kept
// spill-over, keeping every q-th sample from decimationOffset on; stores the
// kept samples of the second half for the next block. Returns the frame
// count; `offsetAfter` receives the next block's decimation offset.
int UpsamplingPath::decimateChannel(int channel, int& offsetAfter) {
  const int ch = stages.channels();
  const int q = design.oversampling;
  const int fftHop = plan.fftHop;
  const double* a = stages.fftBlock(channel);
  double* tail = overlapTail[channel].get();
  double* out = stages.outputSamples() + channel;
  int i = decimationOffset;
  int j = 0;
  for (; i < fftHop; i += q, ++j) out[size_t(j) * ch] = tail[j] + a[i];
  offsetAfter = i - fftHop;
  for (int m = 0; i < design.fftLength; i += q, ++m) tail[m] = a[i];
  return j;
}

// decimateChannel for channels `channel` and `channel + 1` in the two
// lanes: one pass writes both channels' samples of every output frame.
int UpsamplingPath::decimatePair(int channel, int& offsetAfter) {
  using lanes::makePair;
  const int ch = stages.channels();
  const int q = design.oversampling;
  const int fftHop = plan.fftHop;
  const double* a0 = stages.fftBlock(channel);
  const double* a1 = stages.fftBlock(channel + 1);
  double* tail0 = overlapTail[channel].get();
  double* tail1 = overlapTail[channel + 1].get();
  double* out = stages.outputSamples() + channel;
  int i = decimationOffset;
  int j = 0;
  for (; i < fftHop; i += q, ++j) {
    lanes::storePair(out + size_t(j) * ch, makePair(tail0[j], tail1[j]) + makePair(a0[i], a1[i]));
  }
  offsetAfter = i - fftHop;
  for (int m = 0; i < design.fftLength; i += q, ++m) {
    tail0[m] = a0[i];
    tail1[m] = a1[i];
  }
  return j;
}

int UpsamplingPath::advancePerBlock() const {
  return int(int64_t(plan.fftHop) * (design.inputRate / plan.rateGcd) / design.oversampling);
}

int UpsamplingPath::shiftFrames(int position) const { return (position - 1) / design.phases; }

// One past the last frame of inputSamples that a block's fftHop interpolator
// outputs, starting at `position`, read with a tap that carries weight. The
// output at grid position x reads frames ceil(x / P) on with row
// ceil(x / P) * P - x, whose taps beyond the prototype's length are zero. Only
// the block's last outputs can reach furthest: the walk back stops once a
// whole row cannot reach past what is found.
int UpsamplingPath::framesReached(int position) const {
  const int64_t phases = design.phases;
  const int64_t step = design.polyphaseRate / design.fftRate;  // grid distance between outputs
  const int64_t length = design.polyphaseTaps;
  int64_t reached = 0;
  for (int64_t p = plan.fftHop - 1; p >= 0; --p) {
    const int64_t x = position + p * step;
    const int64_t frame = (x + phases - 1) / phases;
    if (frame + design.tapsPerPhase <= reached) break;
    const int64_t row = frame * phases - x;
    const int64_t weightedTaps = row < length ? (length - row + phases - 1) / phases : 0;
    reached = std::max(reached, frame + weightedTaps);
  }
  return int(reached);
}
