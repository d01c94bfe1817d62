// rmplugin.dll loaded and freed again and again, as a host that loads its
// plug-ins per job does: every cycle must give back all the library took.
// What the cycles leave is compared with a control cycle that loads and
// frees what comes with the plug-in without being it: msacm32 and the engine
// library it imports, and empty_library.dll, made by the same toolchain.
// Wine's msacm32 keeps some registry keys per load, and every library of
// this toolchain keeps its unwinder's lock; neither is the plug-in's.
//
// RMP_UNLOAD_CYCLES sets the number of cycles (default 100), for a longer
// run by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "plugin/pcm_wave_format.h"
#include "tests/plugin/plugin_exports.h"
#include "tests/win32_support/host_key.h"
#include "tests/win32_support/process_usage.h"
#include "tests/win32_support/test_dll.h"

namespace {

int cycleCount() {
  const char* text = std::getenv("RMP_UNLOAD_CYCLES");
  return text && std::atoi(text) > 0 ? std::atoi(text) : 100;
}

struct Growth {  // per cycle
  double handles = 0, heapBytes = 0, privateBytes = 0;
};

template <typename Cycle>
Growth growthPerCycle(Cycle cycle) {
  for (int i = 0; i < 3; ++i) cycle();  // the first loads fill caches of Wine's
  const int cycles = cycleCount();
  const processusage::Usage before = processusage::now();
  for (int i = 0; i < cycles; ++i) cycle();
  const processusage::Usage after = processusage::now();
  Growth growth;
  growth.handles = double(after.handles - before.handles) / cycles;
  growth.heapBytes = double(after.heapBytes - before.heapBytes) / cycles;
  growth.privateBytes = double(after.privateBytes - before.privateBytes) / cycles;
  return growth;
}

void controlCycle() {
  HMODULE acm = LoadLibraryA("msacm32.dll");
  testdll::Library engine("rmbe3260.dll");
  testdll::Library runtimeOnly("empty_library.dll");
  EXPECT_TRUE(acm && engine.module() && runtimeOnly.module());
  if (acm) FreeLibrary(acm);
}

// A tenth of a second of 16-bit stereo at 44100 Hz, coded as mono at 44100
// Hz (the settings' defaults): the converter's filters are designed and ACM
// mixes the channels.
void convertOnce(const pluginapi::Exports& plugin, const std::string& outputPath) {
  const WAVEFORMATEX format = pcmWaveFormat(2, 44100, 16);
  std::vector<uint8_t> pcm(4410 * 4);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = uint8_t(i * 7 + i / 512);
  int32_t error = -1;
  CompressionObject* object = plugin.create(outputPath.c_str(), &error, &format);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(error, 0);
  if (error == 0) plugin.block(object, pcm.data(), uint32_t(pcm.size()), 1, &error);
  EXPECT_EQ(error, 0);
  plugin.destroy(object);
}

class UnloadCycles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(hostkey::remove());
    for (const char* name : {"RMBE_LOG", "RMBE_PCM", "RMBE_PINS", "RMBE_CHUNK_BYTES", "RMBE_FAIL"}) {
      _putenv_s(name, "");
    }
    _putenv_s("RMBE_CODEC", "pcm");
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    outputPath = std::string(folder) + "unload cycle.rm";
    control = growthPerCycle(controlCycle);
  }
  void TearDown() override {
    _putenv_s("RMBE_CODEC", "");
    DeleteFileA(outputPath.c_str());
  }
  void expectNothingBeyondControl(const Growth& plugin) {
    // Wine's heaps move by a few bytes from run to run, and commit memory
    // 64 KB at a time; what the plug-in would leave is some 19 KB a cycle.
    constexpr double kHeapNoiseBytes = 256, kCommitNoiseBytes = 2048;
    std::printf("%d cycles: plug-in %.2f handles, %.0f heap bytes, %.0f private bytes per cycle; "
                "control %.2f, %.0f, %.0f\n",
                cycleCount(), plugin.handles, plugin.heapBytes, plugin.privateBytes, control.handles,
                control.heapBytes, control.privateBytes);
    EXPECT_LE(plugin.handles, control.handles);
    EXPECT_LE(plugin.heapBytes, control.heapBytes + kHeapNoiseBytes);
    EXPECT_LE(plugin.privateBytes, control.privateBytes + kCommitNoiseBytes);
  }

  std::string outputPath;
  Growth control;
};

TEST_F(UnloadCycles, LoadingAndFreeingLeavesNothingOfThePlugIn) {
  expectNothingBeyondControl(growthPerCycle([] {
    testdll::Library library(pluginapi::kDllName);
    ASSERT_TRUE(pluginapi::Exports(library).complete());
  }));
}

TEST_F(UnloadCycles, LoadingConvertingAndFreeingLeavesNothingOfThePlugIn) {
  expectNothingBeyondControl(growthPerCycle([this] {
    testdll::Library library(pluginapi::kDllName);
    const pluginapi::Exports plugin(library);
    ASSERT_TRUE(plugin.complete());
    convertOnce(plugin, outputPath);
  }));
}

}  // namespace
