// Time of one fast convolution of a real block of a given length (forward
// FFT, spectral product, inverse FFT), one channel and two channels at once,
// per channel; median of many repetitions in thread CPU time. Built with
// -DWITH_FFTW (and -lfftw3), the same work done with FFTW's r2c and c2r
// plans (FFTW_MEASURE) is timed beside it, as the reference.
//
// usage: fft_bench [length] [repeats]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "real_fft.h"

#if defined(WITH_FFTW)
#include <fftw3.h>
#endif

namespace {

double threadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

template <typename Work>
double medianMicroseconds(int repeats, Work work) {
  std::vector<double> times;
  for (int r = 0; r < repeats; ++r) {
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
  const double time = medianMicroseconds(repeats, [&] {
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
  std::vector<double> filter(size_t(scrambledFilterSize(n)));
  makeScrambledFilter(n, spectrum.data(), filter.data());
  // Scaled so that repeated convolutions neither overflow nor vanish.
  for (double& f : filter) f *= 1.0 / n;
  std::vector<double> one = randomValues(size_t(n), random);
  const double single = medianMicroseconds(repeats, [&] {
    convolveScrambled(n, one.data(), filter.data(), ip.data(), w.data());
  });
  std::printf("ours  n = %d  one channel: %.1f us per channel\n", n, single);
  std::vector<double> pair = randomValues(size_t(2 * n), random);
  const double both = medianMicroseconds(repeats, [&] {
    convolveScrambledPair(n, pair.data(), filter.data(), ip.data(), w.data());
  });
  std::printf("ours  n = %d  two channels: %.1f us per channel\n", n, both / 2);
#if defined(WITH_FFTW)
  std::printf("fftw  n = %d  one channel: %.1f us per channel\n", n, fftwMicroseconds(n, 1, repeats, random));
  std::printf("fftw  n = %d  two channels: %.1f us per channel\n", n, fftwMicroseconds(n, 2, repeats, random));
#endif
  return 0;
}
