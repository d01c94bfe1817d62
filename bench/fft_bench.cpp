// Time of one forward plus one inverse real FFT (rdft) of a given length,
// and of the two-channel form (rdftPair); median
// of many repetitions in thread CPU time.
//
// usage: fft_bench [length] [repeats]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "real_fft.h"

namespace {

double threadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

template <typename Transform>
double medianMicroseconds(int repeats, std::vector<double>& data, Transform transform) {
  std::vector<double> times;
  const std::vector<double> original = data;
  for (int r = 0; r < repeats; ++r) {
    data = original;
    const double start = threadSeconds();
    transform();
    times.push_back((threadSeconds() - start) * 1e6);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 32768;
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 200;
  std::mt19937 random(1);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<int> ip(size_t(2 + n), 0);
  std::vector<double> w(static_cast<size_t>(n / 2));
  std::vector<double> a(static_cast<size_t>(n));
  for (double& v : a) v = uniform(random);
  rdft(n, 1, a.data(), ip.data(), w.data());  // tables made outside the timing
  const double single = medianMicroseconds(repeats, a, [&] {
    rdft(n, 1, a.data(), ip.data(), w.data());
    rdft(n, -1, a.data(), ip.data(), w.data());
  });
  std::printf("n = %d  forward + inverse: %.1f us (one channel)\n", n, single);
  std::vector<double> pair(static_cast<size_t>(2 * n));
  for (double& v : pair) v = uniform(random);
  const double both = medianMicroseconds(repeats, pair, [&] {
    rdftPair(n, 1, pair.data(), ip.data(), w.data());
    rdftPair(n, -1, pair.data(), ip.data(), w.data());
  });
  std::printf("n = %d  forward + inverse: %.1f us (two channels at once, rdftPair)\n", n, both);
  return 0;
}
