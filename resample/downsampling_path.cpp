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
  return true;
}

bool DownsamplingPath::allocate() {
  const int64_t hop = plan.fftHop;
  const int64_t stagedFrames = hop / design.oversampling + design.oversampling + 1;
  const int64_t historyLength = design.tapsPerPhase + hop + 1;
  // One stage block's output (plan.maxBlockOutputFrames): about
  // fftHop * out / (in * q) frames. (Sized as fftHop * in / out frames, it
  // would be (in / out)^2 times too large: gigabytes for 8000 -> 1 Hz.)
  return allocateZeroed(phaseIndex, design.phases) && allocateZeroed(inputStep, design.phases) &&
         allocatePerChannel(polyphaseHistory, stages.channels(), historyLength) &&
         stages.allocateBlockBuffers(stagedFrames, plan.maxBlockOutputFrames);
}

void DownsamplingPath::makeCycle() {
  if (design.oversampling == 1) {
    phaseIndex[0] = 0;
    inputStep[0] = design.inputRate / design.outputRate;
    return;
  }
  const int phases = design.phases;
  const int64_t step = design.polyphaseRate / design.outputRate;
  for (int i = 0; i < phases; ++i) phaseIndex[i] = polyphaseRow(i, step, phases);
  for (int i = 0; i < phases; ++i) {
    int advance = int((step - phaseIndex[i]) / phases + 1);
    if (phaseIndex[(i + 1) % phases] == 0) advance -= 1;
    inputStep[i] = advance;
  }
}

BlockCursor DownsamplingPath::cursor() const { return BlockCursor{0, 0, stuffingOffset}; }

// The stuffing positions offset, offset + q, ... below fftHop.
int DownsamplingPath::framesWanted(const BlockCursor& cursor) const {
  return (plan.fftHop - cursor.stuffingOffset - 1) / design.oversampling + 1;
}

void DownsamplingPath::advance(BlockCursor& cursor) const {
  cursor.stuffingOffset = nextStuffingOffset(cursor.stuffingOffset);
}

int DownsamplingPath::runBlock(uint8_t*& outPointer, bool endFlag, int framesWanted, int framesRead) {
  const int ch = stages.channels();
  stages.takeInput(stages.inputSamples(), framesRead, framesWanted, endFlag);

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
      if (design.oversampling == 1) {
        framesMade = pickEveryStep(c, phaseAfter);
        pickEveryStep(c + 1, phaseAfter);
      } else {
        framesMade = decimateHistoryPair(c, phaseAfter);
      }
    } else {
      stuffChannel(c, framesWanted);
      stages.filterChannel(c);
      addBlock(c);
      framesMade = design.oversampling == 1 ? pickEveryStep(c, phaseAfter) : decimateHistory(c, phaseAfter);
    }
  }
  stuffingOffset = nextStuffingOffset(stuffingOffset);
  phase = phaseAfter;
  polyphasePosition += framesMade * (design.polyphaseRate / design.outputRate);

  const int emittedBytes = stages.emit(outPointer, framesMade);
  if (!stages.finished()) shiftHistory();
  return emittedBytes;
}

// The block's input frames at stuffingOffset, stuffingOffset + q, ... below
// fftHop, zeros everywhere else up to fftHop, each position written once
// (no clearing pass before). q is 1, 2 or 3 (the planner's choice), so the
// zeros between two frames are stored one by one: a loop there would become
// a call to memset per frame. The last frame's zeros may pass fftHop, into
// the upper half, which the convolution treats as zero anyway.
void DownsamplingPath::stuffChannel(int channel, int inputFrames) {
  double* a = stages.fftBlock(channel);
  const double* x = stages.inputSamples() + channel;
  const int q = design.oversampling;
  int i = 0;
  for (; i < stuffingOffset; ++i) a[i] = 0.0;
  for (int j = 0; j < inputFrames; ++j, i += q) {
    a[i] = x[size_t(j) * stages.channels()];
    if (q >= 2) a[i + 1] = 0.0;
    if (q >= 3) a[i + 2] = 0.0;
  }
  for (; i < plan.fftHop; ++i) a[i] = 0.0;
}

// stuffChannel for channels `channel` and `channel + 1`, interleaved into
// the lower halves of pairBlock for filterPair.
void DownsamplingPath::stuffPair(int channel, int inputFrames) {
  double* a = stages.pairBlock();
  const double* x = stages.inputSamples() + channel;
  const int ch = stages.channels();
  const int q = design.oversampling;
  const lanes::Pair zero(0.0);
  int i = 0;
  for (; i < stuffingOffset; ++i) lanes::storePair(a + 2 * i, zero);
  for (int j = 0; j < inputFrames; ++j, i += q) {
    lanes::storePair(a + 2 * i, lanes::loadPair(x + size_t(j) * ch));
    if (q >= 2) lanes::storePair(a + 2 * i + 2, zero);
    if (q >= 3) lanes::storePair(a + 2 * i + 4, zero);
  }
  for (; i < plan.fftHop; ++i) lanes::storePair(a + 2 * i, zero);
}

// Overlap-add of the filtered block's first half onto the history.
void DownsamplingPath::addBlock(int channel) {
  const double* block = stages.fftBlock(channel);
  double* history = polyphaseHistory[channel].get() + design.tapsPerPhase + 1;
  for (int i = 0; i < plan.fftHop; ++i) history[i] += block[i];
}

int DownsamplingPath::nextStuffingOffset(int offset) const {
  const int inputFrames = (plan.fftHop - offset - 1) / design.oversampling + 1;
  return offset + inputFrames * design.oversampling - plan.fftHop;
}

// Where the first output's window starts in the history:
// ceil(polyphasePosition / R), R the grid steps per filtered sample.
int DownsamplingPath::firstWindow() const {
  const int grid = design.polyphaseRate / design.fftRate;
  return polyphasePosition / grid + (polyphasePosition % grid != 0 ? 1 : 0);
}

// Polyphase decimation over the history of one channel: each output is the
// inner product of one phase row with consecutive filtered samples. Returns
// the frame count; `phaseAfter` receives the phase after the block.
int DownsamplingPath::decimateHistory(int channel, int& phaseAfter) {
  const int ch = stages.channels();
  const int taps = design.tapsPerPhase;
  const double* const* rows = stages.polyphaseRows();
  const double* h = polyphaseHistory[channel].get();
  double* out = stages.outputSamples() + channel;
  int w = firstWindow();
  int at = phase;
  int p = 0;
  for (; w < plan.fftHop + 1; ++p) {
    const double* row = rows[phaseIndex[at]];
    double sum = 0.0;
    for (int t = 0; t < taps; ++t) sum += row[t] * h[w + t];
    out[size_t(p) * ch] = sum;
    w += inputStep[at];
    if (++at == design.phases) at = 0;
  }
  phaseAfter = at;
  return p;
}

// decimateHistory when q = 1: the one phase has the one tap 1.0, so every
// output is the filtered sample itself (1.0 x h is h, and 0.0 + h is h up
// to the sign of a zero, which encodes the same), every step-th one.
int DownsamplingPath::pickEveryStep(int channel, int& phaseAfter) {
  const int ch = stages.channels();
  const int step = inputStep[0];
  const double* h = polyphaseHistory[channel].get();
  double* out = stages.outputSamples() + channel;
  int w = firstWindow();
  int p = 0;
  for (; w < plan.fftHop + 1; ++p, w += step) out[size_t(p) * ch] = h[w];
  phaseAfter = 0;
  return p;
}

// decimateHistory for channels `channel` and `channel + 1`, each sum in
// vector lanes over the taps.
int DownsamplingPath::decimateHistoryPair(int channel, int& phaseAfter) {
  PairDecimation job{stages.polyphaseRows(),
                     phaseIndex.get(),
                     inputStep.get(),
                     design.phases,
                     design.tapsPerPhase,
                     polyphaseHistory[channel].get(),
                     polyphaseHistory[channel + 1].get(),
                     firstWindow(),
                     plan.fftHop + 1,
                     phase,
                     stages.outputSamples() + channel,
                     stages.channels()};
  const int count = stages.kernels().decimatePair(job);
  phaseAfter = job.phase;
  return count;
}

// Keeps the last taps + 1 filtered samples as the window's history and
// starts the block region over with the block's spill-over (a copy).
void DownsamplingPath::shiftHistory() {
  const int taps = design.tapsPerPhase;
  const int fftHop = plan.fftHop;
  const int grid = design.polyphaseRate / design.fftRate;
  const int shift = std::min((polyphasePosition - 1) / grid, fftHop);
  for (int c = 0; c < stages.channels(); ++c) {
    double* h = polyphaseHistory[c].get();
    std::memmove(h, h + shift, size_t(taps + fftHop + 1 - shift) * sizeof(double));
    std::memcpy(h + taps + 1, stages.fftBlock(c) + fftHop, size_t(fftHop) * sizeof(double));
  }
  polyphasePosition -= shift * grid;
}
