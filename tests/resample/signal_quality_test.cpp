// Frequency response of the whole converter, measured on 24-bit output:
// pass-band sines keep frequency, amplitude and a constant lag; sines above
// the output's Nyquist frequency, and the images of up-sampling, are removed;
// up-sampled by any ratio, a sine is right in every output frame.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "tests/resample/converter_probe.h"

namespace {

// The same tone in every channel.
std::vector<uint8_t> sinePcm24(int frames, int rate, double frequency, double amplitude, int channels) {
  std::vector<uint8_t> pcm(size_t(frames) * channels * 3);
  for (size_t i = 0; i < size_t(frames) * channels; ++i) {
    const double n = double(i / channels);
    const int32_t code = int32_t(std::lround(amplitude * 8388607.0 * std::sin(2.0 * M_PI * frequency * n / rate)));
    pcm[3 * i] = uint8_t(code & 0xFF);
    pcm[3 * i + 1] = uint8_t((code >> 8) & 0xFF);
    pcm[3 * i + 2] = uint8_t((code >> 16) & 0xFF);
  }
  return pcm;
}

std::vector<double> decode24(const std::vector<uint8_t>& pcm) {
  std::vector<double> samples(pcm.size() / 3);
  for (size_t i = 0; i < samples.size(); ++i) {
    const uint8_t* p = pcm.data() + 3 * i;
    samples[i] = double(int32_t(p[0]) | (int32_t(p[1]) << 8) | (int32_t(int8_t(p[2])) * 65536)) / 8388607.0;
  }
  return samples;
}

// Least-squares fit of y[n] ~ sum over the given w of (A sin(w n) + B cos(w n)),
// plus a constant, over [first, last). Fitting all frequencies present at
// once keeps a strong sine from leaking into a weak one's estimate.
struct SineFit {
  double amplitude;
  double phase;  // component ~ amplitude * sin(w n + phase)
};

std::vector<SineFit> fitSines(const std::vector<double>& y, const std::vector<double>& ws, size_t first,
                              size_t last) {
  const int k = int(2 * ws.size() + 1);
  std::vector<std::vector<double>> m(k, std::vector<double>(k + 1, 0.0));
  std::vector<double> basis(k);
  for (size_t n = first; n < last; ++n) {
    for (size_t f = 0; f < ws.size(); ++f) {
      basis[2 * f] = std::sin(ws[f] * n);
      basis[2 * f + 1] = std::cos(ws[f] * n);
    }
    basis[k - 1] = 1.0;
    for (int r = 0; r < k; ++r) {
      for (int c = 0; c < k; ++c) m[r][c] += basis[r] * basis[c];
      m[r][k] += basis[r] * y[n];
    }
  }
  for (int p = 0; p < k; ++p) {  // Gauss-Jordan; the normal matrix is well conditioned
    for (int r = 0; r < k; ++r) {
      if (r == p) continue;
      const double factor = m[r][p] / m[p][p];
      for (int c = p; c <= k; ++c) m[r][c] -= factor * m[p][c];
    }
  }
  std::vector<SineFit> fits;
  for (size_t f = 0; f < ws.size(); ++f) {
    const double a = m[2 * f][k] / m[2 * f][2 * f], b = m[2 * f + 1][k] / m[2 * f + 1][2 * f + 1];
    fits.push_back(SineFit{std::hypot(a, b), std::atan2(b, a)});
  }
  return fits;
}

SineFit fitSine(const std::vector<double>& y, double w, size_t first, size_t last) {
  return fitSines(y, {w}, first, last)[0];
}

double rmsDb(const std::vector<double>& y, size_t first, size_t last, double reference) {
  double sum = 0.0;
  for (size_t n = first; n < last; ++n) sum += y[n] * y[n];
  const double rms = std::sqrt(sum / double(last - first));
  return 20.0 * std::log10(std::max(rms, 1e-30) / reference);
}

struct Measured {
  std::vector<double> output;
  size_t first, last;  // the steady part, clear of the filters' start and end
};

// Of more than one channel, the first is measured.
Measured convertSine(int in, int out, double frequency, double amplitude, double seconds, int channels = 1) {
  SampleRateConverter converter;
  EXPECT_TRUE(converter.configure(PcmFormat{channels, in, 24}, out));
  const ConverterDesign d = converter.design();
  const int frames = int(in * seconds);
  const Converted result = convert(converter, sinePcm24(frames, in, frequency, amplitude, channels), true);
  Measured m;
  m.output = decode24(result.bytes);
  for (size_t n = 0; n < m.output.size() / channels; ++n) m.output[n] = m.output[n * channels];
  m.output.resize(m.output.size() / channels);
  EXPECT_EQ(int64_t(m.output.size()), expectedStreamFrames(frames, in, out));
  // The long filter reaches d.fftLength / 4 samples of its rate either side.
  const size_t settle = size_t(double(d.fftLength / 4) * out / d.fftRate) + 300;
  m.first = settle;
  m.last = m.output.size() - settle;
  return m;
}

struct QualityCase {
  int in, out;
  double lagFrames;  // output frames by which the output trails the input
};

// The output trails the input by a constant lag: the dropped delay is a
// whole number of output frames, the filters' delay is not, and the stages
// start their grids one history frame early.
const QualityCase kCases[] = {
    {44100, 44100, 1.0},    {22050, 44100, 1.0},    {44100, 22050, 0.5},    {48000, 44100, 1.03125},
    {44100, 48000, 0.3537}, {32000, 44100, 1.2906}, {44100, 8000, 0.1633},
};

TEST(SignalQuality, PassBandSineKeepsAmplitudeFrequencyAndLag) {
  for (const QualityCase& c : kCases) {
    const double nyquist = std::min(c.in, c.out) / 2.0;
    for (double frequency : {1000.0, 0.8 * nyquist}) {
      const Measured m = convertSine(c.in, c.out, frequency, 0.5, 1.2);
      const double w = 2.0 * M_PI * frequency / c.out;
      const size_t middle = (m.first + m.last) / 2;
      const SineFit early = fitSine(m.output, w, m.first, middle);
      const SineFit late = fitSine(m.output, w, middle, m.last);
      const double gainDb = 20.0 * std::log10(early.amplitude / 0.5);
      const double lagEarly = -early.phase / w;
      const double lagLate = -late.phase / w;
      // Residual after removing the fitted sine: frequency held exactly.
      std::vector<double> residual(m.output.size(), 0.0);
      for (size_t n = m.first; n < m.last; ++n) {
        residual[n] = m.output[n] - early.amplitude * std::sin(w * n + early.phase);
      }
      const double residualDb = rmsDb(residual, m.first, m.last, 0.5 / std::sqrt(2.0));
      std::printf("%5d -> %5d  %7.1f Hz: gain %+.6f dB, lag %.4f / %.4f frames, residual %.1f dB\n", c.in, c.out,
                  frequency, gainDb, lagEarly, lagLate, residualDb);
      SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.out) + " at " + std::to_string(frequency));
      EXPECT_LT(std::fabs(gainDb), 0.01);
      EXPECT_NEAR(lagEarly, c.lagFrames, 0.01);
      EXPECT_NEAR(lagLate, c.lagFrames, 0.01);
      EXPECT_LT(residualDb, -100.0);
    }
  }
}

TEST(SignalQuality, SineAboveOutputNyquistIsRejected) {
  struct Case {
    int in, out;
    double frequency;
  };
  for (const Case c : {Case{44100, 22050, 15000.0}, Case{48000, 44100, 23000.0}, Case{44100, 8000, 5000.0},
                       Case{48000, 32000, 18000.0}}) {
    const Measured m = convertSine(c.in, c.out, c.frequency, 0.9, 1.0);
    const double levelDb = rmsDb(m.output, m.first, m.last, 0.9 / std::sqrt(2.0));
    // Below half a 24-bit step the output is exactly 0 (about -144 dB).
    std::printf("%5d -> %5d  %7.1f Hz: level %.1f dB%s\n", c.in, c.out, c.frequency, levelDb,
                levelDb < -300.0 ? " (every output code 0)" : "");
    EXPECT_LT(levelDb, -120.0) << c.in << " -> " << c.out << " at " << c.frequency;
  }
}

TEST(SignalQuality, UpsamplingImagesAreRejected) {
  struct Case {
    int in, out;
    double frequency;
  };
  for (const Case c : {Case{22050, 44100, 10000.0}, Case{32000, 44100, 15000.0}, Case{44100, 48000, 21000.0}}) {
    const Measured m = convertSine(c.in, c.out, c.frequency, 0.9, 1.0);
    const double image = c.in - c.frequency;  // the first image, above the input's Nyquist
    const std::vector<SineFit> fits =
        fitSines(m.output, {2.0 * M_PI * c.frequency / c.out, 2.0 * M_PI * image / c.out}, m.first, m.last);
    const double imageDb = 20.0 * std::log10(std::max(fits[1].amplitude, 1e-30) / 0.9);
    std::printf("%5d -> %5d  %7.1f Hz: image at %.1f Hz %.1f dB\n", c.in, c.out, c.frequency, image, imageDb);
    EXPECT_LT(imageDb, -120.0) << c.in << " -> " << c.out;
  }
}

// Ratios from 1.09 to the largest accepted (kMaxUpsamplingRatio, a third of
// it with q = 3), over nine or more stage blocks: no output frame strays from
// the fitted tone by more than three 24-bit steps (the floor is 1.5). Tiny
// input rates keep the FFTs short.
TEST(SignalQuality, UpsampledSineIsRightInEveryFrameAtEveryRatio) {
  const int grid[][2] = {{44100, 48000},  {11025, 32000},  {22050, 96000}, {11025, 96000},
                         {44100, 192000}, {22050, 192000}, {44100, 384000}, {16000, 768000},
                         {2205, 19200},   {300, 300 * kMaxUpsamplingRatio / 3},
                         {200, 200 * kMaxUpsamplingRatio}};
  int channels = 2;  // alternately alone and in a pair through the interpolator
  for (const auto& pair : grid) {
    channels = 3 - channels;
    const double frequency = pair[0] / 10.0 + 0.37;
    const Measured m = convertSine(pair[0], pair[1], frequency, 0.5, 2.0, channels);
    const double w = 2.0 * M_PI * frequency / pair[1];
    const SineFit tone = fitSine(m.output, w, m.first, m.last);
    double worst = 0.0;
    for (size_t n = m.first; n < m.last; ++n)
      worst = std::max(worst, std::fabs(m.output[n] - tone.amplitude * std::sin(w * n + tone.phase)));
    EXPECT_LT(worst * 8388607.0, 3.0) << pair[0] << " -> " << pair[1] << ": " << 20.0 * std::log10(worst) << " dB";
  }
}

}  // namespace
