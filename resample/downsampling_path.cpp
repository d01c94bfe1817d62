// The down-sampling path: zero-stuffing, the FFT low-pass (stage_context)
// with overlap-add onto the history, and the polyphase decimator.

#include "resample/downsampling_path.h"

#include <algorithm>
#include <cstring>

#include "resample/fft_lanes.h"
#include "resample/lane_kernels.h"
#include "resample/nothrow_arrays.h"

bool DownsamplingPath::make() {
  if (!allocate()) return false;
  makeCycle();
  const int outputRate = stages.outputRate;
  stages.outputDelay = int((plan.fftTaps / 2.0) / (double(plan.stage1Rate) / outputRate) +
                           (plan.polyphaseTaps / 2.0) / (double(plan.stage2Rate) / outputRate));
  stages.initialOutputDelay = stages.outputDelay;
  return true;
}

bool DownsamplingPath::allocate() {
  const int64_t hop = plan.fftHop;
  const int64_t stagedFrames = hop / plan.oversampling + plan.oversampling + 1;
  const int64_t historyLength = plan.tapsPerPhase + hop + 1;
  // One stage block's output (plan.blockFrames): about fftHop * out / (in * q)
  // frames. (Sized as fftHop * in / out frames, it would be (in / out)^2 times
  // too large: gigabytes for 8000 -> 1 Hz.)
  return allocateZeroed(phaseIndex, plan.phases) && allocateZeroed(inputStep, plan.phases) &&
         allocatePerChannel(polyphaseHistory, stages.channels, historyLength) &&
         stages.allocateBlockBuffers(stagedFrames, plan.blockFrames);
}

void DownsamplingPath::makeCycle() {
  if (plan.oversampling == 1) {
    phaseIndex[0] = 0;
    inputStep[0] = stages.inputRate / stages.outputRate;
    return;
  }
  const int phases = plan.phases;
  const int64_t step = plan.stage2Rate / stages.outputRate;
  for (int i = 0; i < phases; ++i) phaseIndex[i] = polyphaseRow(i, step, phases);
  for (int i = 0; i < phases; ++i) {
    int advance = int((step - phaseIndex[i]) / phases + 1);
    if (phaseIndex[(i + 1) % phases] == 0) advance -= 1;
    inputStep[i] = advance;
  }
}

BlockCursor DownsamplingPath::cursor() const { return BlockCursor{0, stuffingOffset}; }

// The stuffing positions offset, offset + q, ... below fftHop.
int DownsamplingPath::framesWanted(const BlockCursor& cursor) const {
  return (plan.fftHop - cursor.position - 1) / plan.oversampling + 1;
}

void DownsamplingPath::advance(BlockCursor& cursor) const { cursor.position = nextStuffingOffset(cursor.position); }

int DownsamplingPath::runBlock(uint8_t*& outPointer, bool endFlag, int framesWanted, int framesRead) {
  const int ch = stages.channels;
  stages.takeInput(stages.inputSamples.get(), framesRead, framesWanted, endFlag);

  // Every channel starts from the same stuffing offset, position and phase.
  int phaseAfter = phase;
  int framesMade = 0;
  // Channels go through the FFT filter in pairs, in the lanes of one
  // two-lane transform; an odd last channel alone.
  for (int c = 0; c < ch; c += 2) {
    const bool paired = c + 1 < ch;
    if (paired) {
      stuffPair(c, framesWanted);
      stages.filterPair(c);
      addBlock(c);
      addBlock(c + 1);
      if (plan.oversampling == 1) {
        framesMade = pickEveryStep(c, phaseAfter);
        pickEveryStep(c + 1, phaseAfter);
      } else {
        framesMade = decimateHistoryPair(c, phaseAfter);
      }
    } else {
      stuffChannel(c, framesWanted);
      stages.convolve(stages.fftBlock[c].get());
      addBlock(c);
      framesMade = plan.oversampling == 1 ? pickEveryStep(c, phaseAfter) : decimateHistory(c, phaseAfter);
    }
  }
  stuffingOffset = nextStuffingOffset(stuffingOffset);
  phase = phaseAfter;
  polyphasePosition += framesMade * (plan.stage2Rate / stages.outputRate);

  const int emittedBytes = stages.emit(outPointer, framesMade);
  if (!stages.streamFinished) shiftHistory();
  return emittedBytes;
}

// The block's input frames at stuffingOffset, stuffingOffset + q, ... below
// fftHop, zeros everywhere else up to fftHop, each position written once
// (no clearing pass before). q is 1, 2 or 3 (the planner's choice), so the
// zeros between two frames are stored one by one: a loop there would become
// a call to memset per frame. The last frame's zeros may pass fftHop, into
// the upper half, which the convolution treats as zero anyway.
void DownsamplingPath::stuffChannel(int channel, int blockFrames) {
  double* a = stages.fftBlock[channel].get();
  const double* x = stages.inputSamples.get() + channel;
  const int q = plan.oversampling;
  int i = 0;
  for (; i < stuffingOffset; ++i) a[i] = 0.0;
  for (int j = 0; j < blockFrames; ++j, i += q) {
    a[i] = x[size_t(j) * stages.channels];
    if (q >= 2) a[i + 1] = 0.0;
    if (q >= 3) a[i + 2] = 0.0;
  }
  for (; i < plan.fftHop; ++i) a[i] = 0.0;
}

// stuffChannel for channels `channel` and `channel + 1`, interleaved into
// the lower halves of pairBlock for filterPair.
void DownsamplingPath::stuffPair(int channel, int blockFrames) {
  double* a = stages.pairBlock;
  const double* x = stages.inputSamples.get() + channel;
  const int ch = stages.channels;
  const int q = plan.oversampling;
  const lanes::Pair zero(0.0);
  int i = 0;
  for (; i < stuffingOffset; ++i) lanes::storePair(a + 2 * i, zero);
  for (int j = 0; j < blockFrames; ++j, i += q) {
    lanes::storePair(a + 2 * i, lanes::loadPair(x + size_t(j) * ch));
    if (q >= 2) lanes::storePair(a + 2 * i + 2, zero);
    if (q >= 3) lanes::storePair(a + 2 * i + 4, zero);
  }
  for (; i < plan.fftHop; ++i) lanes::storePair(a + 2 * i, zero);
}

// Overlap-add of the filtered block's first half onto the history.
void DownsamplingPath::addBlock(int channel) {
  const double* block = stages.fftBlock[channel].get();
  double* history = polyphaseHistory[channel].get() + plan.tapsPerPhase + 1;
  for (int i = 0; i < plan.fftHop; ++i) history[i] += block[i];
}

int DownsamplingPath::nextStuffingOffset(int offset) const {
  const int blockFrames = (plan.fftHop - offset - 1) / plan.oversampling + 1;
  return offset + blockFrames * plan.oversampling - plan.fftHop;
}

// Where the first output's window starts in the history:
// ceil(polyphasePosition / R), R the grid steps per filtered sample.
int DownsamplingPath::firstWindow() const {
  const int grid = plan.stage2Rate / plan.stage1Rate;
  return polyphasePosition / grid + (polyphasePosition % grid != 0 ? 1 : 0);
}

// Polyphase decimation over the history of one channel: each output is the
// inner product of one phase row with consecutive filtered samples. Returns
// the frame count; `phaseAfter` receives the phase after the block.
int DownsamplingPath::decimateHistory(int channel, int& phaseAfter) {
  const int ch = stages.channels;
  const int taps = plan.tapsPerPhase;
  const double* const* rows = stages.filters->polyphaseRows.get();
  const double* h = polyphaseHistory[channel].get();
  double* out = stages.outputSamples.get() + channel;
  int w = firstWindow();
  int at = phase;
  int p = 0;
  for (; w < plan.fftHop + 1; ++p) {
    const double* row = rows[phaseIndex[at]];
    double sum = 0.0;
    for (int t = 0; t < taps; ++t) sum += row[t] * h[w + t];
    out[size_t(p) * ch] = sum;
    w += inputStep[at];
    if (++at == plan.phases) at = 0;
  }
  phaseAfter = at;
  return p;
}

// decimateHistory when q = 1: the one phase has the one tap 1.0, so every
// output is the filtered sample itself (1.0 x h is h, and 0.0 + h is h up
// to the sign of a zero, which encodes the same), every step-th one.
int DownsamplingPath::pickEveryStep(int channel, int& phaseAfter) {
  const int ch = stages.channels;
  const int step = inputStep[0];
  const double* h = polyphaseHistory[channel].get();
  double* out = stages.outputSamples.get() + channel;
  int w = firstWindow();
  int p = 0;
  for (; w < plan.fftHop + 1; ++p, w += step) out[size_t(p) * ch] = h[w];
  phaseAfter = 0;
  return p;
}

// decimateHistory for channels `channel` and `channel + 1`, each sum in
// vector lanes over the taps.
int DownsamplingPath::decimateHistoryPair(int channel, int& phaseAfter) {
  PairDecimation job{stages.filters->polyphaseRows.get(),
                     phaseIndex.get(),
                     inputStep.get(),
                     plan.phases,
                     plan.tapsPerPhase,
                     polyphaseHistory[channel].get(),
                     polyphaseHistory[channel + 1].get(),
                     firstWindow(),
                     plan.fftHop + 1,
                     phase,
                     stages.outputSamples.get() + channel,
                     stages.channels};
  const int count = stages.kernels->decimatePair(job);
  phaseAfter = job.phase;
  return count;
}

// Keeps the last taps + 1 filtered samples as the window's history and
// starts the block region over with the block's spill-over (a copy).
void DownsamplingPath::shiftHistory() {
  const int taps = plan.tapsPerPhase;
  const int fftHop = plan.fftHop;
  const int grid = plan.stage2Rate / plan.stage1Rate;
  const int shift = std::min((polyphasePosition - 1) / grid, fftHop);
  for (int c = 0; c < stages.channels; ++c) {
    double* h = polyphaseHistory[c].get();
    std::memmove(h, h + shift, size_t(taps + fftHop + 1 - shift) * sizeof(double));
    std::memcpy(h + taps + 1, stages.fftBlock[c].get() + fftHop, size_t(fftHop) * sizeof(double));
  }
  polyphasePosition -= shift * grid;
}
