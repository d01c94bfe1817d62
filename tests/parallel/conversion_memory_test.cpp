// A host working through a music library: two threads convert one-second
// files one after another in one process. The process must not grow with
// the number of files. After each round of files the process's memory is
// read; the growth per conversion is the slope of a straight line fitted
// through those readings, after a few rounds that fill the caches.
//
// The control converts the same audio to two channels, which needs no ACM
// stream: what it grows is Wine's own bookkeeping of files and threads.
// RMP_MEMORY_ROUNDS sets the number of rounds (default 24, of 2 x 10 files).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

#include "plugin/pcm_wave_format.h"
#include "tests/plugin/plugin_exports.h"
#include "tests/win32_support/host_key.h"
#include "tests/win32_support/process_usage.h"
#include "tests/win32_support/test_dll.h"

namespace {

constexpr int kThreads = 2;
constexpr int kFilesPerRound = 10;  // per thread
constexpr int kWarmUpRounds = 4;
// Committed memory moves with the heaps' fragmentation; what the heaps hold
// is exact, and nothing of a finished file may stay there.
constexpr double kMaxCommittedBytesPerConversion = 8192;
constexpr double kMaxHeapBytesPerConversion = 256;

int roundCount() {
  const char* text = std::getenv("RMP_MEMORY_ROUNDS");
  return text && std::atoi(text) > kWarmUpRounds + 2 ? std::atoi(text) : 24;
}

// One second of 16-bit stereo at 44100 Hz: a tone with a little noise.
std::vector<uint8_t> oneSecondOfStereo() {
  std::vector<uint8_t> pcm;
  uint32_t noise = 1;
  for (int sample = 0; sample < 2 * 44100; ++sample) {
    noise = noise * 1664525u + 1013904223u;
    const int16_t value = int16_t(16000 * std::sin(0.0627 * sample) + (noise >> 22));
    pcm.push_back(uint8_t(value));
    pcm.push_back(uint8_t(uint16_t(value) >> 8));
  }
  return pcm;
}

struct Worker {
  const pluginapi::Exports* plugin;
  const std::vector<uint8_t>* pcm;
  std::string outputPath;
  int failures = 0;

  void convertOne() {
    const WAVEFORMATEX format = pcmWaveFormat(2, 44100, 16);
    int32_t error = -1;
    CompressionObject* object = plugin->create(outputPath.c_str(), &error, &format);
    constexpr size_t kBlockBytes = 16384;  // as hosts read files
    for (size_t offset = 0; object && error == 0 && offset < pcm->size(); offset += kBlockBytes) {
      const size_t bytes = std::min(kBlockBytes, pcm->size() - offset);
      plugin->block(object, pcm->data() + offset, uint32_t(bytes), offset + bytes == pcm->size(), &error);
    }
    failures += error != 0;
    plugin->destroy(object);
  }
  static DWORD WINAPI convertRound(LPVOID self) {
    for (int file = 0; file < kFilesPerRound; ++file) static_cast<Worker*>(self)->convertOne();
    return 0;
  }
};

// Least-squares slope of y over x.
double slope(const std::vector<double>& x, const std::vector<double>& y) {
  const double meanX = std::accumulate(x.begin(), x.end(), 0.0) / x.size();
  const double meanY = std::accumulate(y.begin(), y.end(), 0.0) / y.size();
  double covariance = 0, variance = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    covariance += (x[i] - meanX) * (y[i] - meanY);
    variance += (x[i] - meanX) * (x[i] - meanX);
  }
  return covariance / variance;
}

// Converts round after round with the settings stored now and checks the
// fitted growth per conversion.
void expectFlatMemory(const char* label) {
  testdll::Library library(pluginapi::kDllName);
  const pluginapi::Exports plugin(library);
  ASSERT_TRUE(plugin.complete());
  const std::vector<uint8_t> pcm = oneSecondOfStereo();
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  std::vector<Worker> workers;
  for (int i = 0; i < kThreads; ++i) workers.push_back({&plugin, &pcm, temp + ("memory " + std::to_string(i) + ".rm")});
  std::vector<double> conversions, committed, onHeaps;
  for (int round = 1; round <= roundCount(); ++round) {
    HANDLE threads[kThreads];
    for (int i = 0; i < kThreads; ++i) threads[i] = CreateThread(nullptr, 0, Worker::convertRound, &workers[i], 0, nullptr);
    WaitForMultipleObjects(kThreads, threads, TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);
    if (round <= kWarmUpRounds) continue;
    const processusage::Usage usage = processusage::now();
    conversions.push_back(round * kThreads * kFilesPerRound);
    committed.push_back(double(usage.privateBytes));
    onHeaps.push_back(double(usage.heapBytes));
  }
  for (const Worker& worker : workers) {
    EXPECT_EQ(worker.failures, 0);
    DeleteFileA(worker.outputPath.c_str());
  }
  const double committedGrowth = slope(conversions, committed), heapGrowth = slope(conversions, onHeaps);
  std::printf("%s: %.0f conversions, %.0f bytes committed and %.0f on the heaps per conversion; %.1f MB at the end\n",
              label, conversions.back(), committedGrowth, heapGrowth, committed.back() / 1e6);
  EXPECT_LE(committedGrowth, kMaxCommittedBytesPerConversion);
  EXPECT_LE(heapGrowth, kMaxHeapBytesPerConversion);
}

class ConversionMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(hostkey::remove());
    for (const char* name : {"RMBE_LOG", "RMBE_PCM", "RMBE_PCM_PER_FILE", "RMBE_PINS", "RMBE_CHUNK_BYTES", "RMBE_FAIL"}) {
      _putenv_s(name, "");
    }
    _putenv_s("RMBE_CODEC", "pcm");  // the engine's own coding is not what is measured
  }
  void TearDown() override {
    _putenv_s("RMBE_CODEC", "");
    hostkey::remove();
  }
};

// Stereo coded as mono ("Voice", the default): an ACM stream per file.
TEST_F(ConversionMemory, TwoThreadsConvertingThroughAcmKeepMemoryFlat) { expectFlatMemory("stereo to mono, through ACM"); }

// Stereo coded as stereo ("Stereo Music"): no ACM stream.
TEST_F(ConversionMemory, TwoThreadsConvertingWithoutAcmKeepMemoryFlat) {
  ASSERT_TRUE(hostkey::setDword("ZVKRMAudioFormat", 3));
  expectFlatMemory("stereo to stereo, no ACM stream");
}

}  // namespace
