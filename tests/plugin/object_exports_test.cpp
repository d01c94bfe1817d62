// The three object exports of rmplugin.dll, called as the host calls them.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "plugin/host_interface.h"
#include "tests/win32_support/host_key.h"
#include "tests/plugin/standin_session.h"
#include "tests/win32_support/test_dll.h"

namespace {

using CreateFn = CreateNewCompressionObjectFunction*;
using BlockFn = ANewDataBlockArrivedFunction*;
using DeleteFn = DeleteCompressionObjectFunction*;

WAVEFORMATEX monoSixteenBit() {
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = 44100;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = 88200;
  return format;
}

class ObjectExportsTest : public ::testing::Test {
protected:
  void SetUp() override {
    // The plug-in reads the settings when it is loaded, so the key is reset
    // first: default settings, 44100 Hz "Voice", whatever an earlier test stored.
    ASSERT_TRUE(hostkey::resetToEmpty());
    plugin = std::make_unique<testdll::Library>("rmplugin.dll");
    ASSERT_NE(plugin->module(), nullptr);
    create = plugin->get<CreateFn>("CreateNewCompressionObject");
    block = plugin->get<BlockFn>("ANewDataBlockArrived");
    remove = plugin->get<DeleteFn>("DeleteCompressionObject");
    ASSERT_TRUE(create && block && remove);
  }

  StandinSession standin;
  std::unique_ptr<testdll::Library> plugin;
  CreateFn create = nullptr;
  BlockFn block = nullptr;
  DeleteFn remove = nullptr;
};

TEST_F(ObjectExportsTest, DeletingNullDoesNothing) { remove(nullptr); }

TEST_F(ObjectExportsTest, AFailedCreationStillReturnsADeletableObject) {
  standin.setFaults("Library.0=80004005");
  WAVEFORMATEX format = monoSixteenBit();
  int32_t errorCode = 77;
  CompressionObject* object = create(standin.outputPath("f.rm").c_str(), &errorCode, &format);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(errorCode, 3);
  remove(object);
  EXPECT_EQ(StandinSession::liveObjects(), 0);
}

TEST_F(ObjectExportsTest, OnlyTheLowByteOfTheEndFlagCounts) {
  WAVEFORMATEX format = monoSixteenBit();
  int32_t errorCode = 77;
  CompressionObject* object = create(standin.outputPath("e.rm").c_str(), &errorCode, &format);
  ASSERT_NE(object, nullptr);
  ASSERT_EQ(errorCode, 0);
  // Less than the converter's first stage block: only a final block makes output.
  std::vector<uint8_t> pcm(20000, 0x11);
  errorCode = 77;
  block(object, pcm.data(), uint32_t(pcm.size()), 0x100, &errorCode);
  EXPECT_EQ(errorCode, 0);
  EXPECT_TRUE(standin.offeredChunks().empty());
  block(object, pcm.data(), uint32_t(pcm.size()), 0x101, &errorCode);
  EXPECT_EQ(errorCode, 0);
  EXPECT_FALSE(standin.offeredChunks().empty());
  remove(object);
  EXPECT_EQ(standin.acceptedPcm().size() % 2, 0u);
  EXPECT_GE(standin.acceptedPcm().size(), 2 * pcm.size());
}

TEST_F(ObjectExportsTest, ARefusedChunkReportsCode3AndTheObjectStaysUsable) {
  standin.setFaults("InputPin.6@1=80004005");
  WAVEFORMATEX format = monoSixteenBit();
  int32_t errorCode = 77;
  CompressionObject* object = create(standin.outputPath("r.rm").c_str(), &errorCode, &format);
  ASSERT_EQ(errorCode, 0);
  std::vector<uint8_t> pcm(88200, 0x22);
  block(object, pcm.data(), uint32_t(pcm.size()), 1, &errorCode);
  EXPECT_EQ(errorCode, 3);
  block(object, nullptr, 0, 1, &errorCode);
  EXPECT_EQ(errorCode, 0);
  remove(object);
  EXPECT_GE(standin.acceptedPcm().size(), pcm.size());
}

}  // namespace
