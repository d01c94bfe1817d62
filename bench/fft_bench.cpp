// Time of one fast convolution of a real block of a given length (forward
// FFT, spectral product, inverse FFT), one channel and two channels at once,
// per channel, in each lane width the machine runs ("ours" the widest);
// median of many repetitions in thread CPU time. Built with
// -DWITH_FFTW (and -lfftw3), the same work done with FFTW's r2c and c2r
// plans (FFTW_MEASURE) is timed beside it, as the reference.
//
// usage: fft_bench [length] [repeats]

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "resample/fft_convolution.h"
#include "resample/lane_kernels.h"
#include "resample/real_fft.h"

#if defined(WITH_FFTW)
#include <fftw3.h>
#endif

namespace {

// Thread CPU time; under Windows (Wine) its clock counts in 10 ms steps,
// far longer than one convolution, so there the wall clock times each run
// (the median drops the runs another process interrupted).
double threadSeconds() {
  timespec t;
#if defined(_WIN32)
  clock_gettime(CLOCK_MONOTONIC, &t);
#else
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
#endif
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// `prepare` (untimed) before every run of `work`.
template <typename Prepare, typename Work>
double medianMicroseconds(int repeats, Prepare prepare, Work work) {
  std::vector<double> times;
  for (int r = 0; r < repeats; ++r) {
    prepare();
    const double start = threadSeconds();
    work();
    times.push_back((threadSeconds() - start) * 1e6);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

std::vector<double> randomValues(size_t count, std::mt19937& random) {
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> values(count);
  for (double& v : values) v = uniform(random);
  return values;
}

#if defined(WITH_FFTW)
// r2c, product with a fixed spectrum, c2r for `channels` blocks.
double fftwMicroseconds(int n, int channels, int repeats, std::mt19937& random) {
  double* block = fftw_alloc_real(size_t(n) * channels);
  fftw_complex* spectrum = fftw_alloc_complex(size_t(n / 2 + 1) * channels);
  fftw_plan forward = fftw_plan_many_dft_r2c(1, &n, channels, block, nullptr, 1, n, spectrum, nullptr, 1, n / 2 + 1,
                                             FFTW_MEASURE);
  fftw_plan inverse = fftw_plan_many_dft_c2r(1, &n, channels, spectrum, nullptr, 1, n / 2 + 1, block, nullptr, 1, n,
                                             FFTW_MEASURE);
  const std::vector<double> filter = randomValues(size_t(n + 2), random);
  const std::vector<double> input = randomValues(size_t(n) * channels, random);
  std::copy(input.begin(), input.end(), block);
  const double time = medianMicroseconds(repeats, [] {}, [&] {
    fftw_execute(forward);
    for (int c = 0; c < channels; ++c) {
      fftw_complex* s = spectrum + size_t(c) * (n / 2 + 1);
      for (int k = 0; k <= n / 2; ++k) {
        const double re = s[k][0], im = s[k][1];
        s[k][0] = filter[2 * k] * re - filter[2 * k + 1] * im;
        s[k][1] = filter[2 * k] * im + filter[2 * k + 1] * re;
      }
    }
    fftw_execute(inverse);
  });
  fftw_destroy_plan(forward);
  fftw_destroy_plan(inverse);
  fftw_free(block);
  fftw_free(spectrum);
  return time / channels;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 32768;
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 200;
  std::mt19937 random(1);
  std::vector<int> ip(size_t(2 + n), 0);
  std::vector<double> w(static_cast<size_t>(n / 2));
  std::vector<double> spectrum = randomValues(size_t(n), random);
  rdft(n, 1, spectrum.data(), ip.data(), w.data());  // tables made outside the timing
  // Scaled so that repeated convolutions neither overflow nor vanish.
  for (double& f : spectrum) f *= 1.0 / n;
  std::vector<double> filter(size_t(convolutionFilterSize(n)));
  std::vector<double> storage(size_t(4 * n + 4));
  double* area = storage.data() + (32 - reinterpret_cast<uintptr_t>(storage.data()) % 32) % 32 / sizeof(double);
  double* pair = area + 2 * n;
  const std::vector<double> input = randomValues(size_t(n), random);
  std::vector<double> one(input), first(input), second(input);
  for (FftLanes lanes : {FftLanes::kTwo, FftLanes::kFour}) {
    if (lanes == FftLanes::kFour && widestFftLanes() != FftLanes::kFour) continue;
    const char* name = lanes == FftLanes::kFour ? "ours" : "ours-sse2";
    makeConvolutionFilter(n, spectrum.data(), filter.data(), lanes);
    const double single = medianMicroseconds(
        repeats, [&] { std::fill(std::copy(input.begin(), input.begin() + n / 2, one.begin()), one.end(), 0.0); },
        [&] { laneKernels(lanes).convolveBlock(n, one.data(), area, filter.data(), ip.data(), w.data()); });
    std::printf("%s  n = %d  one channel: %.1f us per channel\n", name, n, single);
    const double both = medianMicroseconds(
        repeats,
        [&] {
          for (int j = 0; j < n / 2; ++j) pair[2 * j] = pair[2 * j + 1] = input[j];
          std::fill(pair + n, pair + 2 * n, 0.0);
        },
        [&] {
          laneKernels(lanes).convolveBlockPair(n, pair, filter.data(), ip.data(), w.data(), first.data(), second.data());
        });
    std::printf("%s  n = %d  two channels: %.1f us per channel\n", name, n, both / 2);
  }
#if defined(WITH_FFTW)
  std::printf("fftw  n = %d  one channel: %.1f us per channel\n", n, fftwMicroseconds(n, 1, repeats, random));
  std::printf("fftw  n = %d  two channels: %.1f us per channel\n", n, fftwMicroseconds(n, 2, repeats, random));
#endif
  return 0;
}
