// Converters of one rate pair share their filters; none of them may notice:
// whatever the others do at the same time (set up, convert, go away), each
// converts exactly as a converter alone does.

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "tests/resample/converter_probe.h"

namespace {

const int kPairs[][2] = {{44100, 48000}, {48000, 44100}, {22050, 44100}, {44100, 22050}, {96000, 44100}};
constexpr int kPairCount = sizeof kPairs / sizeof kPairs[0];

std::vector<uint8_t> convertStream(SampleRateConverter& converter, const std::vector<uint8_t>& pcm) {
  const std::vector<uint8_t> first(pcm.begin(), pcm.begin() + 40000);
  const std::vector<uint8_t> rest(pcm.begin() + 40000, pcm.end());
  std::vector<uint8_t> out = convert(converter, first, false).bytes;
  const std::vector<uint8_t> tail = convert(converter, rest, true).bytes;
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

std::vector<uint8_t> convertAlone(int pair, int channels, const std::vector<uint8_t>& pcm) {
  SampleRateConverter converter;
  EXPECT_TRUE(converter.configure(PcmFormat{channels, kPairs[pair][0], 16}, kPairs[pair][1]));
  return convertStream(converter, pcm);
}

TEST(SharedFilters, ConvertersOnManyThreadsMatchOneAlone) {
  const std::vector<uint8_t> pcm = noiseBytes(120000, 3);
  std::vector<uint8_t> alone[kPairCount][2];
  for (int pair = 0; pair < kPairCount; ++pair) {
    for (int channels = 1; channels <= 2; ++channels) alone[pair][channels - 1] = convertAlone(pair, channels, pcm);
  }

  // Each thread keeps the previous converter alive while the next one is
  // set up and converts, then drops it: filters are shared, taken over and
  // released in every order.
  constexpr int kThreads = 6;
  std::vector<std::thread> threads;
  std::vector<int> mismatches(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::unique_ptr<SampleRateConverter> previous;
      for (int round = 0; round < 2 * kPairCount; ++round) {
        const int pair = (t + round) % kPairCount;
        const int channels = 1 + (t + round / kPairCount) % 2;
        auto converter = std::make_unique<SampleRateConverter>();
        if (!converter->configure(PcmFormat{channels, kPairs[pair][0], 16}, kPairs[pair][1]) ||
            convertStream(*converter, pcm) != alone[pair][channels - 1])
          ++mismatches[t];
        previous = std::move(converter);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
