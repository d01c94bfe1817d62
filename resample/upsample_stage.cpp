// Up-sampling stage: polyphase interpolation from the input rate to
// q * outputRate, then the long low-pass by FFT convolution with overlap-add,
// keeping every q-th sample. Also home of the parts both stages share: the
// FFT convolution and the emission rules (delay dropping, stream length).

#include <algorithm>
#include <cmath>
#include <cstring>

#include "resample/fft_lanes.h"
#include "resample/lane_kernels.h"
#include "resample/pcm_codec.h"
#include "resample/sample_rate_converter.h"

int SampleRateConverter::upsampleBlock(uint8_t*& outPointer, bool endFlag, int framesWanted, int framesRead) {
  const int ch = channels;
  double* samples = inputSamples.get();
  pcm::decodeSamples(inputBytes.get(), inputBytesPerSample, size_t(framesRead) * ch, samples + size_t(inputFill) * ch);
  std::fill(samples + size_t(inputFill + framesRead) * ch, samples + size_t(inputFill + framesWanted) * ch, 0.0);
  inputFill += framesWanted;
  framesInCount += uint64_t(framesRead);
  endOfStream = endFlag;

  // Every channel starts from the same frame, phase and decimation offset.
  // The first frame at or after stage1Position on the stage-1 grid is
  // ceil(stage1Position / P); 64-bit because inputRate * position may pass 2^31.
  const int64_t firstFrame = (int64_t(inputRate) * (stage1Position - 1) + stage1Rate) / stage1Rate;
  int phaseAfter = stage1Phase;
  int offsetAfter = decimationOffset;
  int framesMade = 0;
  // Channels go through the FFT filter in pairs, in the lanes of one
  // two-lane transform; an odd last channel alone.
  for (int c = 0; c < ch; c += 2) {
    const bool paired = c + 1 < ch;
    if (paired) {
      phaseAfter = interpolatePair(c, firstFrame);
      filterPair(c, stage2Spectrum.get(), stage2FftLength);
      framesMade = decimatePair(c, offsetAfter);
    } else {
      phaseAfter = interpolateChannel(c, firstFrame);
      convolveWithSpectrum(fftBlock[c].get(), stage2Spectrum.get(), stage2FftLength);
      framesMade = decimateChannel(c, offsetAfter);
    }
  }
  stage1Phase = phaseAfter;
  decimationOffset = offsetAfter;
  stage1Position += stage1AdvancePerBlock();

  pcm::encodeSamples(outputSamples.get(), outputBytesPerSample, size_t(framesMade) * ch, outputBytes.get());
  const int emittedBytes = emit(outPointer, framesMade);
  if (!streamFinished) {
    // Keep the frames from the one before the next block's first frame on.
    const int shift = stage1ShiftFrames(stage1Position);
    std::memmove(samples, samples + size_t(shift) * ch, size_t(inputFill - shift) * ch * sizeof(double));
    inputFill -= shift;
    stage1Position -= shift * stage1Phases;
  }
  return emittedBytes;
}

// Stage 1 for one channel: fftHop samples at q * outputRate, each the inner
// product of one phase row with consecutive input frames. Returns the phase
// after the block.
int SampleRateConverter::interpolateChannel(int channel, int64_t firstFrame) {
  const int ch = channels;
  const int taps = stage1TapsPerPhase;
  const int cycle = stage1Phases * oversampling;
  const double* x = inputSamples.get() + channel;
  double* out = fftBlock[channel].get();
  int64_t frame = firstFrame;
  int phase = stage1Phase;
  for (int p = 0; p < fftHop; ++p) {
    const double* row = stage1Filter.row(stage1PhaseIndex[phase]);
    const double* window = x + frame * ch;
    double sum = 0.0;
    for (int t = 0; t < taps; ++t) sum += row[t] * window[int64_t(t) * ch];
    out[p] = sum;
    frame += stage1InputStep[phase] != 0 ? 1 : 0;  // no branch: the pattern is too long to predict
    if (++phase == cycle) phase = 0;
  }
  return phase;
}

// interpolateChannel for channels `channel` and `channel + 1` in vector
// lanes: neighbours in the interleaved input, each sum taken term by term.
// The samples go interleaved into pairBlock (the lower halves of the two
// blocks, all that filterPair reads).
int SampleRateConverter::interpolatePair(int channel, int64_t firstFrame) {
  const PairInterpolation job{stage1Filter.rows.get(), stage1PhaseIndex.get(), stage1InputStep.get(),
                              stage1Phases * oversampling, stage1TapsPerPhase, inputSamples.get() + channel, channels,
                              firstFrame, stage1Phase, fftHop, pairBlock};
  return kernels->interpolatePair(job);
}

// Overlap-add of the block's first half with the previous block's kept
// spill-over, keeping every q-th sample from decimationOffset on; stores the
// kept samples of the second half for the next block. Returns the frame
// count; `offsetAfter` receives the next block's decimation offset.
int SampleRateConverter::decimateChannel(int channel, int& offsetAfter) {
  const int ch = channels;
  const int q = oversampling;
  const double* a = fftBlock[channel].get();
  double* tail = overlapTail[channel].get();
  double* out = outputSamples.get() + channel;
  int i = decimationOffset;
  int j = 0;
  for (; i < fftHop; i += q, ++j) out[size_t(j) * ch] = tail[j] + a[i];
  offsetAfter = i - fftHop;
  for (int m = 0; i < stage2FftLength; i += q, ++m) tail[m] = a[i];
  return j;
}

// decimateChannel for channels `channel` and `channel + 1` in the two
// lanes: one pass writes both channels' samples of every output frame.
int SampleRateConverter::decimatePair(int channel, int& offsetAfter) {
  using lanes::makePair;
  const int ch = channels;
  const int q = oversampling;
  const double* a0 = fftBlock[channel].get();
  const double* a1 = fftBlock[channel + 1].get();
  double* tail0 = overlapTail[channel].get();
  double* tail1 = overlapTail[channel + 1].get();
  double* out = outputSamples.get() + channel;
  int i = decimationOffset;
  int j = 0;
  for (; i < fftHop; i += q, ++j) {
    lanes::storePair(out + size_t(j) * ch, makePair(tail0[j], tail1[j]) + makePair(a0[i], a1[i]));
  }
  offsetAfter = i - fftHop;
  for (int m = 0; i < stage2FftLength; i += q, ++m) {
    tail0[m] = a0[i];
    tail1[m] = a1[i];
  }
  return j;
}

int SampleRateConverter::stage1AdvancePerBlock() const {
  return int(int64_t(fftHop) * (inputRate / rateGcd) / oversampling);
}

int SampleRateConverter::stage1ShiftFrames(int position) const { return (position - 1) / stage1Phases; }

// One past the last frame of inputSamples that a block's fftHop interpolator
// outputs, starting at `position`, read with a tap that carries weight. The
// output at grid position x reads frames ceil(x / P) on with row
// ceil(x / P) * P - x, whose taps beyond the prototype's length are zero. Only
// the block's last outputs can reach furthest: the walk back stops once a
// whole row cannot reach past what is found.
int SampleRateConverter::stage1FramesReached(int position) const {
  const int64_t phases = stage1Phases;
  const int64_t step = stage1Rate / stage2Rate;  // grid distance between outputs
  int64_t reached = 0;
  for (int64_t p = fftHop - 1; p >= 0; --p) {
    const int64_t x = position + p * step;
    const int64_t frame = (x + phases - 1) / phases;
    if (frame + stage1TapsPerPhase <= reached) break;
    const int64_t row = frame * phases - x;
    const int64_t weightedTaps = row < stage1Length ? (stage1Length - row + phases - 1) / phases : 0;
    reached = std::max(reached, frame + weightedTaps);
  }
  return int(reached);
}

// Fast convolution of the first fftHop values of `block` (the rest is zero)
// with the filter whose pre-scaled spectrum is given (records of
// makeConvolutionFilter). The filter is never longer than fftHop taps, so
// nothing wraps around. pairBlock is the work area.
void SampleRateConverter::convolveWithSpectrum(double* block, const double* spectrum, int fftLength) {
  std::fill(block + fftLength / 2, block + fftLength, 0.0);
  kernels->convolveBlock(fftLength, block, pairBlock, spectrum, fftBitReversal.get(), fftCosSin.get());
}

// convolveWithSpectrum for channels `channel` and `channel + 1` at once. The
// caller has put both blocks' first fftHop values interleaved into
// pairBlock (value j of `channel` at 2j, of `channel + 1` at 2j + 1); what
// follows them counts as zero. The filtered blocks land in fftBlock of the
// two channels.
void SampleRateConverter::filterPair(int channel, const double* spectrum, int fftLength) {
  kernels->convolveBlockPair(fftLength, pairBlock, spectrum, fftBitReversal.get(), fftCosSin.get(),
                             fftBlock[channel].get(), fftBlock[channel + 1].get());
}

// Emission rules shared by both stages. The leading outputDelay frames of
// the stream are the filters' delay and are dropped; the end-flagged block
// whose frames reach floor(S) + 2, S = framesIn * out / in, cuts the stream
// there and finishes it.
int SampleRateConverter::emit(uint8_t*& outPointer, int framesMade) {
  int start = 0;
  int frames = framesMade;
  if (firstOutput) {
    if (framesMade < outputDelay) {
      outputDelay -= framesMade;
      return 0;
    }
    start = outputDelay;
    frames = framesMade - outputDelay;
    firstOutput = false;
  }
  const double exactLength = double(framesInCount) * outputRate / inputRate;
  if (endOfStream && exactLength + 2.0 <= double(framesOutCount + uint64_t(frames))) {
    const uint64_t target = uint64_t(std::floor(exactLength)) + 2;
    frames = target > framesOutCount ? int(target - framesOutCount) : 0;
    streamFinished = true;
  }
  if (frames <= 0) return 0;
  const int frameBytes = channels * outputBytesPerSample;
  outPointer = outputBytes.get() + size_t(start) * frameBytes;
  framesOutCount += uint64_t(frames);
  return frames * frameBytes;
}
