// Down-sampling stage (input rate >= output rate): zero-stuffing by q and the
// long low-pass by FFT convolution with overlap-add at inputRate * q, then a
// polyphase decimator to the output rate.

#include <algorithm>
#include <cstring>

#include "resample/lane_kernels.h"
#include "resample/pcm_codec.h"
#include "resample/sample_rate_converter.h"

int SampleRateConverter::downsampleBlock(uint8_t*& outPointer, bool endFlag, int framesRead) {
  const int ch = channels;
  const int blockFrames = (fftHop - stuffingOffset - 1) / oversampling + 1;
  double* samples = inputSamples.get();
  pcm::decodeSamples(inputBytes.get(), inputBytesPerSample, size_t(framesRead) * ch, samples);
  std::fill(samples + size_t(framesRead) * ch, samples + size_t(blockFrames) * ch, 0.0);
  framesInCount += uint64_t(framesRead);
  endOfStream = endFlag;

  // Every channel starts from the same stuffing offset, position and phase.
  int phaseAfter = stage2Phase;
  int framesMade = 0;
  // Channels go through the FFT filter in pairs, in the lanes of one
  // two-lane transform; an odd last channel alone.
  for (int c = 0; c < ch; c += 2) {
    const bool paired = c + 1 < ch;
    if (paired) {
      stuffPair(c, blockFrames);
      filterPair(c, stage1Spectrum.get(), stage1FftLength);
      addBlock(c);
      addBlock(c + 1);
      if (oversampling == 1) {
        framesMade = pickEveryStep(c, phaseAfter);
        pickEveryStep(c + 1, phaseAfter);
      } else {
        framesMade = decimateHistoryPair(c, phaseAfter);
      }
    } else {
      stuffChannel(c, blockFrames);
      convolveWithSpectrum(fftBlock[c].get(), stage1Spectrum.get(), stage1FftLength);
      addBlock(c);
      framesMade = oversampling == 1 ? pickEveryStep(c, phaseAfter) : decimateHistory(c, phaseAfter);
    }
  }
  stuffingOffset = nextStuffingOffset(stuffingOffset);
  stage2Phase = phaseAfter;
  polyphasePosition += framesMade * (stage2Rate / outputRate);

  pcm::encodeSamples(outputSamples.get(), outputBytesPerSample, size_t(framesMade) * ch, outputBytes.get());
  const int emittedBytes = emit(outPointer, framesMade);
  if (!streamFinished) shiftHistory();
  return emittedBytes;
}

// The block's input frames at stuffingOffset, stuffingOffset + q, ... below
// fftHop, zeros everywhere else.
void SampleRateConverter::stuffChannel(int channel, int blockFrames) {
  double* a = fftBlock[channel].get();
  std::fill(a, a + stage1FftLength, 0.0);
  const double* x = inputSamples.get() + channel;
  for (int j = 0, i = stuffingOffset; j < blockFrames; ++j, i += oversampling) a[i] = x[size_t(j) * channels];
}

// Overlap-add of the filtered block's first half onto the history.
void SampleRateConverter::addBlock(int channel) {
  const double* block = fftBlock[channel].get();
  double* history = polyphaseHistory[channel].get() + stage2TapsPerPhase + 1;
  for (int i = 0; i < fftHop; ++i) history[i] += block[i];
}

// stuffChannel for channels `channel` and `channel + 1`, interleaved into
// pairBlock for filterPair.
void SampleRateConverter::stuffPair(int channel, int blockFrames) {
  double* a = pairBlock;
  std::fill(a, a + stage1FftLength, 0.0);  // the lower halves; filterPair needs no more
  const double* x = inputSamples.get() + channel;
  for (int j = 0, i = stuffingOffset; j < blockFrames; ++j, i += oversampling) {
    a[2 * i] = x[size_t(j) * channels];
    a[2 * i + 1] = x[size_t(j) * channels + 1];
  }
}

int SampleRateConverter::nextStuffingOffset(int offset) const {
  const int blockFrames = (fftHop - offset - 1) / oversampling + 1;
  return offset + blockFrames * oversampling - fftHop;
}

// Polyphase decimation over the history of one channel: each output is the
// inner product of one phase row with consecutive filtered samples, the
// window starting at ceil(polyphasePosition / R). Returns the frame count;
// `phaseAfter` receives the phase after the block.
int SampleRateConverter::decimateHistory(int channel, int& phaseAfter) {
  const int ch = channels;
  const int taps = stage2TapsPerPhase;
  const int grid = stage2Rate / stage1Rate;
  const double* h = polyphaseHistory[channel].get();
  double* out = outputSamples.get() + channel;
  int w = polyphasePosition / grid + (polyphasePosition % grid != 0 ? 1 : 0);
  int phase = stage2Phase;
  int p = 0;
  for (; w < fftHop + 1; ++p) {
    const double* row = stage2Filter.row(stage2PhaseIndex[phase]);
    double sum = 0.0;
    for (int t = 0; t < taps; ++t) sum += row[t] * h[w + t];
    out[size_t(p) * ch] = sum;
    w += stage2InputStep[phase];
    if (++phase == stage2Phases) phase = 0;
  }
  phaseAfter = phase;
  return p;
}

// decimateHistory when q = 1: the one phase has the one tap 1.0, so every
// output is the filtered sample itself (1.0 x h is h, and 0.0 + h is h up
// to the sign of a zero, which encodes the same), every step-th one.
int SampleRateConverter::pickEveryStep(int channel, int& phaseAfter) {
  const int ch = channels;
  const int grid = stage2Rate / stage1Rate;
  const int step = stage2InputStep[0];
  const double* h = polyphaseHistory[channel].get();
  double* out = outputSamples.get() + channel;
  int w = polyphasePosition / grid + (polyphasePosition % grid != 0 ? 1 : 0);
  int p = 0;
  for (; w < fftHop + 1; ++p, w += step) out[size_t(p) * ch] = h[w];
  phaseAfter = 0;
  return p;
}

// decimateHistory for channels `channel` and `channel + 1`, each sum in
// vector lanes over the taps.
int SampleRateConverter::decimateHistoryPair(int channel, int& phaseAfter) {
  const int grid = stage2Rate / stage1Rate;
  const int window = polyphasePosition / grid + (polyphasePosition % grid != 0 ? 1 : 0);
  PairDecimation job{stage2Filter.rows.get(), stage2PhaseIndex.get(), stage2InputStep.get(), stage2Phases,
                     stage2TapsPerPhase, polyphaseHistory[channel].get(), polyphaseHistory[channel + 1].get(),
                     window, fftHop + 1, stage2Phase, outputSamples.get() + channel, channels};
  const int count = kernels->decimatePair(job);
  phaseAfter = job.phase;
  return count;
}

// Keeps the last taps + 1 filtered samples as the window's history and
// starts the block region over with the block's spill-over (a copy).
void SampleRateConverter::shiftHistory() {
  const int taps = stage2TapsPerPhase;
  const int grid = stage2Rate / stage1Rate;
  const int shift = std::min((polyphasePosition - 1) / grid, fftHop);
  for (int c = 0; c < channels; ++c) {
    double* h = polyphaseHistory[c].get();
    std::memmove(h, h + shift, size_t(taps + fftHop + 1 - shift) * sizeof(double));
    std::memcpy(h + taps + 1, fftBlock[c].get() + fftHop, size_t(fftHop) * sizeof(double));
  }
  polyphasePosition -= shift * grid;
}
