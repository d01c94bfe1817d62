// Measurements for scripts/bench-speed.py that need the converter linked in:
//
//   converter_probe_tool response IN_RATE OUT_RATE
//     Frequency response of this converter and of libsoxr (very high
//     quality, passband_end 0.997) from the same test tones: for each tone
//     (24-bit mono, amplitude 0.9) the level of the output component at the
//     tone's frequency, or, where the output cannot carry the tone, at the
//     frequency it would fold to (aliases when down-sampling, images when
//     up-sampling: tone f at the input gives 'in - f' at the output).
//     Prints CSV: response_hz,this_db,soxr_db.
//   converter_probe_tool upsampling-error
//     Worst error of this converter and of libsoxr (as above) in any output
//     frame of a tone up-sampled by ratios up to the largest configure
//     accepts: the tone (24-bit mono, amplitude 0.9, at a tenth of the input
//     rate) is fitted to the steady part of each output, and the largest
//     difference from the fitted tone is given in dB re full scale.
//     Prints CSV: in_hz,out_hz,this_db,soxr_db.
//   converter_probe_tool setup
//     configure's time (median of 9) for 44100->48000 and 96000->44100, and
//     the converter's heap for 16-bit stereo after configure and at its peak
//     while converting 60 s, for the benchmark's rate pairs.

#include <soxr.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <new>
#include <vector>

#include "resample/converter_plan.h"
#include "resample/real_fft.h"
#include "resample/sample_rate_converter.h"

// Live heap bytes of this process, for the memory figures.
namespace {
std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};
}  // namespace

void* operator new(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (p == nullptr) throw std::bad_alloc();
  const long long now = liveBytes += (long long)malloc_usable_size(p);
  if (now > peakBytes) peakBytes = now;
  return p;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  void* p = std::malloc(size ? size : 1);
  if (p == nullptr) return nullptr;
  const long long now = liveBytes += (long long)malloc_usable_size(p);
  if (now > peakBytes) peakBytes = now;
  return p;
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  liveBytes -= (long long)malloc_usable_size(p);
  std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

namespace {

constexpr double kFullScale24 = 8388607.0;
constexpr int kSkipFrames = 32768;    // output frames left out while the filters settle
constexpr int kWindowFrames = 1 << 19;  // analysed output frames
constexpr double kAmplitude = 0.9;

double seconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// The tone in 24-bit codes with triangular dither of +-1 code, so that the
// rounding error is white noise far below the measured levels instead of
// spurs that fold into the stop band.
std::vector<int32_t> toneCodes(double frequency, int rate, int frames) {
  std::vector<int32_t> codes(static_cast<size_t>(frames));
  uint32_t state = 12345;
  auto uniform = [&state] {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) / 16777216.0;
  };
  for (int n = 0; n < frames; ++n) {
    const double dither = uniform() - uniform();
    codes[size_t(n)] =
        int32_t(std::lround(kAmplitude * kFullScale24 * std::sin(2.0 * M_PI * frequency * n / rate) + dither));
  }
  return codes;
}

std::vector<double> convertOurs(const std::vector<int32_t>& codes, int inRate, int outRate) {
  SampleRateConverter converter;
  if (!converter.configure(PcmFormat{1, inRate, 24}, outRate)) std::exit(1);
  std::vector<uint8_t> pcm(codes.size() * 3);
  for (size_t k = 0; k < codes.size(); ++k)
    for (int b = 0; b < 3; ++b) pcm[3 * k + size_t(b)] = uint8_t((uint32_t(codes[k]) >> (8 * b)) & 0xFF);
  uint32_t count = uint32_t(pcm.size());
  uint8_t* out = nullptr;
  if (!converter.convertBlock(pcm.data(), count, true, out)) std::exit(1);
  std::vector<double> samples(static_cast<size_t>(count / 3));
  for (size_t k = 0; k < samples.size(); ++k) {
    const uint8_t* p = out + 3 * k;
    const int32_t code = int32_t(p[0]) | (int32_t(p[1]) << 8) | (int32_t(int8_t(p[2])) * 65536);
    samples[k] = code / kFullScale24;
  }
  delete[] out;
  return samples;
}

// libsoxr on the same 24-bit codes, its output rounded to 24 bits as well.
std::vector<double> convertSoxr(const std::vector<int32_t>& codes, int inRate, int outRate) {
  std::vector<double> in(codes.size());
  for (size_t k = 0; k < codes.size(); ++k) in[k] = codes[k] / kFullScale24;
  soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
  soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
  quality.passband_end = 0.997;
  soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  std::vector<double> out(size_t(double(in.size()) * outRate / inRate) + 4096);
  size_t produced = 0;
  soxr_error_t error = soxr_oneshot(inRate, outRate, 1, in.data(), in.size(), nullptr, out.data(), out.size(),
                                    &produced, &io, &quality, &runtime);
  if (error != nullptr) std::exit(1);
  out.resize(produced);
  for (double& v : out) v = std::lround(v * kFullScale24) / kFullScale24;
  return out;
}

// Level in dB (re the tone's amplitude) of the output component at
// `frequency`: Kaiser window (beta 24, side lobes far below -200 dB),
// power summed over the bins of the main lobe.
double levelDb(const std::vector<double>& samples, double frequency, int rate, const std::vector<double>& window,
               double windowPower) {
  static std::vector<int> ip(2 + 1024, 0);
  static std::vector<double> w(kWindowFrames / 2);
  std::vector<double> a(kWindowFrames);
  for (int n = 0; n < kWindowFrames; ++n) a[size_t(n)] = samples[size_t(kSkipFrames + n)] * window[size_t(n)];
  rdft(kWindowFrames, 1, a.data(), ip.data(), w.data());
  const int centre = int(std::lround(frequency / rate * kWindowFrames));
  double power = 0.0;
  for (int k = std::max(1, centre - 10); k <= std::min(kWindowFrames / 2 - 1, centre + 10); ++k)
    power += a[size_t(2 * k)] * a[size_t(2 * k)] + a[size_t(2 * k + 1)] * a[size_t(2 * k + 1)];
  // A cosine of amplitude A gives sum |X_k|^2 = N A^2 sum(w^2) / 4 over one side.
  const double amplitude = std::sqrt(4.0 * power / (double(kWindowFrames) * windowPower));
  return 20.0 * std::log10(std::max(amplitude / kAmplitude, 1e-15));
}

double besselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 200; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
  }
  return sum;
}

int response(int inRate, int outRate) {
  std::vector<double> window(kWindowFrames);
  double windowPower = 0.0;
  const double beta = 24.0;
  for (int n = 0; n < kWindowFrames; ++n) {
    const double r = 2.0 * n / (kWindowFrames - 1) - 1.0;
    window[size_t(n)] = besselI0(beta * std::sqrt(std::max(0.0, 1.0 - r * r))) / besselI0(beta);
    windowPower += window[size_t(n)] * window[size_t(n)];
  }
  const int inFrames = int(double(kSkipFrames + kWindowFrames + 8192) * inRate / outRate) + 1;
  const double lowNyquist = std::min(inRate, outRate) / 2.0;
  const double highNyquist = std::max(inRate, outRate) / 2.0;
  std::vector<double> frequencies;
  for (double f = 500.0; f < lowNyquist - 1500.0; f += 1000.0) frequencies.push_back(f);
  for (double f = lowNyquist - 1500.0; f < highNyquist - 20.0; f += 25.0) frequencies.push_back(f);
  std::printf("response_hz,this_db,soxr_db\n");
  for (double response : frequencies) {
    // Up-sampling: tones above the input's Nyquist frequency cannot be fed;
    // the response there is that of the image of tone in - f.
    const bool image = inRate < outRate && response >= inRate / 2.0;
    const bool alias = inRate > outRate && response >= outRate / 2.0;
    const double tone = image ? inRate - response : response;
    const double measured = alias ? outRate - response : response;
    const std::vector<int32_t> codes = toneCodes(tone, inRate, inFrames);
    const double ours = levelDb(convertOurs(codes, inRate, outRate), measured, outRate, window, windowPower);
    const double theirs = levelDb(convertSoxr(codes, inRate, outRate), measured, outRate, window, windowPower);
    std::printf("%.1f,%.3f,%.3f\n", response, ours, theirs);
    std::fflush(stdout);
  }
  return 0;
}

// Largest |y[n] - fitted tone| over [first, last): the tone's amplitude and
// phase by least squares at the known frequency.
double worstToneError(const std::vector<double>& y, double frequency, int rate, size_t first, size_t last) {
  const double w = 2.0 * M_PI * frequency / rate;
  double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
  for (size_t n = first; n < last; ++n) {
    const double s = std::sin(w * n), c = std::cos(w * n);
    ss += s * s, sc += s * c, cc += c * c, ys += y[n] * s, yc += y[n] * c;
  }
  const double det = ss * cc - sc * sc;
  const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
  double worst = 0.0;
  for (size_t n = first; n < last; ++n)
    worst = std::max(worst, std::fabs(y[n] - a * std::sin(w * n) - b * std::cos(w * n)));
  return worst;
}

int upsamplingError() {
  const int pairs[][2] = {{44100, 48000},  {11025, 32000},  {11025, 48000},  {22050, 96000}, {11025, 96000},
                          {44100, 192000}, {22050, 192000}, {44100, 384000}, {16000, 768000}, {2205, 19200},
                          {300, 300 * kMaxUpsamplingRatio / 3}, {200, 200 * kMaxUpsamplingRatio}};
  std::printf("in_hz,out_hz,this_db,soxr_db\n");
  for (const auto& pair : pairs) {
    SampleRateConverter probe;
    if (!probe.configure(PcmFormat{1, pair[0], 24}, pair[1])) return 1;
    const ConverterDesign d = probe.design();
    // 24 stage blocks between the two ends, each end left out: a quarter
    // of a block is the long filter's reach, and libsoxr's filters need up
    // to 4096 input frames at these ratios before its error is steady.
    const int soxrSettle = 4096;
    const int frames = int(24.0 * d.fftLength / 2 * pair[0] / (double(d.oversampling) * pair[1])) + 2 * soxrSettle;
    const size_t settle =
        size_t(double(d.fftLength / 4) * pair[1] / d.fftRate) + size_t(double(soxrSettle) * pair[1] / pair[0]);
    const double frequency = pair[0] / 10.0 + 0.37;
    const std::vector<int32_t> codes = toneCodes(frequency, pair[0], frames);
    double worst[2];
    int k = 0;
    for (const std::vector<double>& y : {convertOurs(codes, pair[0], pair[1]), convertSoxr(codes, pair[0], pair[1])})
      worst[k++] = worstToneError(y, frequency, pair[1], settle, y.size() - settle);
    std::printf("%d,%d,%.1f,%.1f\n", pair[0], pair[1], 20.0 * std::log10(worst[0]), 20.0 * std::log10(worst[1]));
    std::fflush(stdout);
  }
  return 0;
}

int setup() {
  const int timedPairs[][2] = {{44100, 48000}, {96000, 44100}};
  for (const auto& pair : timedPairs) {
    std::vector<double> times;
    for (int r = 0; r < 9; ++r) {
      SampleRateConverter converter;
      const double start = seconds();
      if (!converter.configure(PcmFormat{2, pair[0], 16}, pair[1])) return 1;
      times.push_back(seconds() - start);
    }
    std::sort(times.begin(), times.end());
    std::printf("configure,%d,%d,%.2f\n", pair[0], pair[1], times[4] * 1e3);
  }
  const int memoryPairs[][2] = {{44100, 48000}, {48000, 44100}, {44100, 22050}, {22050, 44100}, {44100, 44100}, {96000, 44100}};
  for (const auto& pair : memoryPairs) {
    const int frames = pair[0] * 60;
    std::vector<uint8_t> pcm(size_t(frames) * 4, 0);
    for (size_t k = 0; k < pcm.size(); ++k) pcm[k] = uint8_t(k * 2654435761u >> 13);
    const long long before = liveBytes;
    auto* converter = new SampleRateConverter;
    if (!converter->configure(PcmFormat{2, pair[0], 16}, pair[1])) return 1;
    const long long afterConfigure = liveBytes - before;
    peakBytes = liveBytes.load();
    const size_t hostBlock = 65536;
    for (size_t offset = 0; offset < pcm.size(); offset += hostBlock) {
      uint32_t count = uint32_t(std::min(hostBlock, pcm.size() - offset));
      uint8_t* out = nullptr;
      converter->convertBlock(pcm.data() + offset, count, offset + hostBlock >= pcm.size(), out);
      delete[] out;
    }
    const long long peak = peakBytes - before;
    delete converter;
    std::printf("memory,%d,%d,%lld,%lld\n", pair[0], pair[1], afterConfigure, peak);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "response") == 0) return response(std::atoi(argv[2]), std::atoi(argv[3]));
  if (argc == 2 && std::strcmp(argv[1], "setup") == 0) return setup();
  if (argc == 2 && std::strcmp(argv[1], "upsampling-error") == 0) return upsamplingError();
  std::fprintf(stderr, "usage: converter_probe_tool response IN OUT | upsampling-error | setup\n");
  return 1;
}
