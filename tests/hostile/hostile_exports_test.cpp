// rmplugin.dll's exports called with what a careless or hostile host may
// hand them: format records no PCM reader can take, an engine that refuses
// chunks, settings of any registry type and size. Every case must end in
// error code 3 or a correct conversion, with no engine reference left and no
// output file written for a conversion that failed at creation.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmreg.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/win32_support/host_key.h"
#include "tests/plugin/plugin_exports.h"
#include "tests/plugin/standin_session.h"
#include "tests/win32_support/test_dll.h"

namespace {

constexpr int32_t kFailed = 3;

// A format record with room for the extensible fields (40 bytes).
struct FormatRecord {
  alignas(4) uint8_t bytes[40] = {};
  WAVEFORMATEX& plain() { return *reinterpret_cast<WAVEFORMATEX*>(bytes); }
};

FormatRecord pcm(uint32_t channels, uint32_t rate, uint32_t bits) {
  FormatRecord record;
  WAVEFORMATEX& format = record.plain();
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = WORD(channels);
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = WORD(bits);
  format.nBlockAlign = WORD(channels * bits / 8);
  format.nAvgBytesPerSec = format.nBlockAlign * rate;
  return record;
}

// WAVE_FORMAT_EXTENSIBLE with the given sub-format tag (1 PCM, 3 float, 2 ADPCM).
FormatRecord extensible(uint32_t channels, uint32_t rate, uint32_t bits, uint32_t subformatTag) {
  FormatRecord record = pcm(channels, rate, bits);
  record.plain().wFormatTag = 0xFFFE;
  record.plain().cbSize = 22;
  const uint16_t validBits = uint16_t(bits);
  const uint32_t channelMask = channels == 2 ? 3 : 4;
  static const uint8_t kGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  std::memcpy(record.bytes + 18, &validBits, 2);
  std::memcpy(record.bytes + 20, &channelMask, 4);
  std::memcpy(record.bytes + 24, &subformatTag, 4);
  std::memcpy(record.bytes + 28, kGuidTail, 12);
  return record;
}

std::vector<uint8_t> tone(size_t bytes) {
  std::vector<uint8_t> data(bytes);
  for (size_t i = 0; i < bytes; ++i) data[i] = uint8_t((i * 37) ^ (i >> 7));
  return data;
}

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class HostileExportsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(hostkey::resetToEmpty()); }  // 44100 Hz, "Voice"

  // Loads the plug-in afresh (a new process attach reads the settings).
  struct Plugin {
    testdll::Library library{pluginapi::kDllName};
    pluginapi::Exports exports{library};
  };

  // One whole conversion: create, the blocks (the last with the end flag),
  // delete. Returns the error codes: creation first, then one per block.
  static std::vector<int32_t> convert(const pluginapi::Exports& plugin, const std::string& path, WAVEFORMATEX& format,
                                      const std::vector<uint8_t>& data, size_t blockBytes) {
    std::vector<int32_t> codes;
    int32_t code = 77;
    CompressionObject* object = plugin.create(path.c_str(), &code, &format);
    codes.push_back(code);
    if (object == nullptr) return codes;
    if (code == 0) {
      size_t offset = 0;
      do {
        const size_t n = std::min(blockBytes, data.size() - offset);
        code = 77;
        plugin.block(object, data.data() + offset, uint32_t(n), offset + n == data.size(), &code);
        codes.push_back(code);
        offset += n;
      } while (offset < data.size());
    }
    plugin.destroy(object);
    return codes;
  }
};

TEST_F(HostileExportsTest, FormatsNoPcmReaderCanTakeEndCreationWithCode3AndLeaveNothing) {
  struct Case {
    const char* name;
    FormatRecord record;
  };
  FormatRecord misaligned = pcm(2, 44100, 16);
  misaligned.plain().nBlockAlign = 6;
  FormatRecord floatTag = pcm(2, 44100, 16);
  floatTag.plain().wFormatTag = 3;
  FormatRecord adpcmTag = pcm(1, 22050, 16);
  adpcmTag.plain().wFormatTag = 2;
  FormatRecord shortExtensible = extensible(2, 44100, 16, 1);
  shortExtensible.plain().cbSize = 0;  // says the extensible fields are not there
  const Case cases[] = {
      {"0 channels", pcm(0, 44100, 16)},
      {"65535 channels", pcm(65535, 44100, 16)},
      {"65535 channels 8-bit", pcm(65535, 8000, 8)},
      {"rate 0", pcm(2, 0, 16)},
      {"rate 1", pcm(1, 1, 16)},
      {"rate 2", pcm(1, 2, 16)},
      {"rate 2^31-1", pcm(2, 0x7FFFFFFF, 16)},
      {"rate 2^32-1", pcm(1, 0xFFFFFFFF, 16)},
      {"0 bits", pcm(2, 44100, 0)},
      {"7 bits", pcm(1, 44100, 7)},
      {"12 bits", pcm(2, 44100, 12)},
      {"32 bits", pcm(2, 44100, 32)},
      {"block alignment 6 for 2 x 16 bits", misaligned},
      {"float tag", floatTag},
      {"ADPCM tag", adpcmTag},
      {"extensible float", extensible(2, 48000, 32, 3)},
      {"extensible float 16-bit container", extensible(2, 48000, 16, 3)},
      {"extensible ADPCM", extensible(1, 22050, 16, 2)},
      {"extensible without its fields", shortExtensible},
  };
  const std::vector<uint8_t> data = tone(8820);
  for (const Case& c : cases) {
    StandinSession standin;
    Plugin plugin;
    ASSERT_TRUE(plugin.exports.complete());
    FormatRecord record = c.record;
    const std::string path = standin.outputPath("out.rm");
    int32_t code = 77;
    CompressionObject* object = plugin.exports.create(path.c_str(), &code, &record.plain());
    ASSERT_NE(object, nullptr) << c.name;
    EXPECT_EQ(code, kFailed) << c.name;
    // A failed object refuses blocks, final or not.
    code = 77;
    plugin.exports.block(object, data.data(), uint32_t(data.size()), 0, &code);
    EXPECT_EQ(code, kFailed) << c.name;
    plugin.exports.block(object, data.data(), uint32_t(data.size()), 1, &code);
    EXPECT_EQ(code, kFailed) << c.name;
    plugin.exports.destroy(object);
    EXPECT_EQ(StandinSession::liveObjects(), 0) << c.name;
    EXPECT_TRUE(standin.acceptedPcm().empty()) << c.name;
    EXPECT_FALSE(fileExists(path)) << c.name << ": a failed conversion left an output file";
    EXPECT_FALSE(fileExists(path + ".partial")) << c.name;
  }
}

TEST_F(HostileExportsTest, ExtensiblePcmConvertsLikePlainPcm) {
  const std::vector<uint8_t> data = tone(4 * 22050);  // 0.5 s of 16-bit stereo at 44100 Hz
  std::string plainPcm, extensiblePcm;
  for (int extensibleRecord = 0; extensibleRecord < 2; ++extensibleRecord) {
    StandinSession standin;
    Plugin plugin;
    FormatRecord record = extensibleRecord ? extensible(2, 44100, 16, 1) : pcm(2, 44100, 16);
    const std::vector<int32_t> codes = convert(plugin.exports, standin.outputPath("x.rm"), record.plain(), data, 8192);
    for (int32_t code : codes) EXPECT_EQ(code, 0);
    EXPECT_EQ(StandinSession::liveObjects(), 0);
    const std::vector<uint8_t> accepted = standin.acceptedPcm();
    (extensibleRecord ? extensiblePcm : plainPcm).assign(accepted.begin(), accepted.end());
  }
  // 22050 frames at equal rates: 22052 mono 16-bit frames.
  EXPECT_EQ(plainPcm.size(), 2u * (22050 + 2));
  EXPECT_EQ(extensiblePcm, plainPcm);
}

TEST_F(HostileExportsTest, NullArgumentsGiveCode3InsteadOfACrash) {
  StandinSession standin;
  Plugin plugin;
  FormatRecord record = pcm(1, 44100, 16);
  int32_t code = 77;
  CompressionObject* object = plugin.exports.create(nullptr, &code, &record.plain());
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(code, kFailed);
  plugin.exports.destroy(object);
  object = plugin.exports.create(standin.outputPath("n.rm").c_str(), &code, nullptr);
  EXPECT_EQ(code, kFailed);
  plugin.exports.destroy(object);
  // No place for the error code: the calls still return without touching it.
  object = plugin.exports.create(standin.outputPath("n.rm").c_str(), nullptr, &record.plain());
  ASSERT_NE(object, nullptr);
  plugin.exports.block(object, nullptr, 100, 1, &code);
  EXPECT_EQ(code, kFailed);
  plugin.exports.block(object, nullptr, 0, 1, nullptr);
  plugin.exports.block(nullptr, nullptr, 0, 1, &code);
  EXPECT_EQ(code, kFailed);
  plugin.exports.destroy(object);
  plugin.exports.destroy(nullptr);
  EXPECT_EQ(StandinSession::liveObjects(), 0);
}

// Pointers the plug-in never handed out, or deleted already: every block
// answers 3 and deletion ignores them, while a live object beside them
// converts as usual. An output name that is a folder, or ends in a
// separator, cannot become a file: creation says so, before any audio.
TEST_F(HostileExportsTest, ObjectPointersThatAreNotLiveAndFolderNamesAnswerCode3) {
  StandinSession standin;
  Plugin plugin;
  FormatRecord record = pcm(1, 44100, 16);
  const std::vector<uint8_t> data = tone(8820);
  int32_t code = 77;
  CompressionObject* live = plugin.exports.create(standin.outputPath("live.rm").c_str(), &code, &record.plain());
  ASSERT_EQ(code, 0);
  CompressionObject* deleted = plugin.exports.create(standin.outputPath("gone.rm").c_str(), &code, &record.plain());
  plugin.exports.destroy(deleted);
  std::vector<uint8_t> garbage(4096, 0xA5);
  std::vector<CompressionObject*> strangers = {deleted, reinterpret_cast<CompressionObject*>(garbage.data()),
                                               reinterpret_cast<CompressionObject*>(&code)};
  std::mt19937 random(5);
  for (int i = 0; i < 8; ++i) strangers.push_back(reinterpret_cast<CompressionObject*>(uintptr_t(random())));
  for (CompressionObject* stranger : strangers) {
    code = 77;
    plugin.exports.block(stranger, data.data(), uint32_t(data.size()), 0, &code);
    EXPECT_EQ(code, kFailed) << stranger;
    plugin.exports.block(stranger, nullptr, 0, 1, &code);
    EXPECT_EQ(code, kFailed) << stranger;
    plugin.exports.destroy(stranger);
  }
  plugin.exports.block(live, data.data(), uint32_t(data.size()), 1, &code);
  EXPECT_EQ(code, 0);
  plugin.exports.destroy(live);
  plugin.exports.destroy(live);  // twice: the second is a stranger too
  EXPECT_TRUE(fileExists(standin.outputPath("live.rm")));
  const std::string folder = standin.outputPath("album.rm");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  for (const std::string& name : {folder, folder + "\\", standin.outputPath("new") + "\\", folder + "/"}) {
    CompressionObject* object = plugin.exports.create(name.c_str(), &code, &record.plain());
    EXPECT_EQ(code, kFailed) << name;
    plugin.exports.destroy(object);
  }
  EXPECT_FALSE(fileExists(standin.outputPath("new")));
  EXPECT_EQ(StandinSession::liveObjects(), 0);
}

TEST_F(HostileExportsTest, DataAfterTheFinalBlockIsRefusedNotDropped) {
  StandinSession standin;
  Plugin plugin;
  FormatRecord record = pcm(1, 44100, 16);
  const std::vector<uint8_t> data = tone(8820);
  int32_t code = 77;
  CompressionObject* object = plugin.exports.create(standin.outputPath("a.rm").c_str(), &code, &record.plain());
  ASSERT_EQ(code, 0);
  plugin.exports.block(object, data.data(), uint32_t(data.size()), 1, &code);
  EXPECT_EQ(code, 0);
  const size_t delivered = standin.acceptedPcm().size();
  EXPECT_EQ(delivered, 2u * (4410 + 2));
  plugin.exports.block(object, data.data(), uint32_t(data.size()), 0, &code);
  EXPECT_EQ(code, kFailed) << "audio after the end of the file must not vanish silently";
  plugin.exports.block(object, nullptr, 0, 1, &code);
  EXPECT_EQ(code, 0);
  plugin.exports.destroy(object);
  EXPECT_EQ(standin.acceptedPcm().size(), delivered);
  EXPECT_EQ(StandinSession::liveObjects(), 0);
}

// The engine's view of an undisturbed conversion of `data`, for comparison.
std::string undisturbedPcm(const std::vector<uint8_t>& data, size_t blockBytes) {
  StandinSession standin;
  testdll::Library library{pluginapi::kDllName};
  pluginapi::Exports plugin{library};
  FormatRecord record = pcm(1, 44100, 16);
  int32_t code = 77;
  CompressionObject* object = plugin.create(standin.outputPath("u.rm").c_str(), &code, &record.plain());
  for (size_t offset = 0; offset < data.size(); offset += blockBytes) {
    const size_t n = std::min(blockBytes, data.size() - offset);
    plugin.block(object, data.data() + offset, uint32_t(n), offset + n == data.size(), &code);
  }
  plugin.destroy(object);
  const std::vector<uint8_t> accepted = standin.acceptedPcm();
  return std::string(accepted.begin(), accepted.end());
}

TEST_F(HostileExportsTest, ChunksRefusedOnceAreDeliveredLaterExactlyOnceInOrder) {
  const std::vector<uint8_t> data = tone(2 * 44100 * 2);  // 2 s of 16-bit mono
  const std::string expected = undisturbedPcm(data, 16384);
  ASSERT_EQ(expected.size(), 2u * (88200 + 2));
  for (const char* faults : {"InputPin.6@1=80004005", "InputPin.6@5=80004005", "InputPin.6@3=80004005,InputPin.6@4=80004005",
                             "MediaSample.3@2=80004005"}) {
    StandinSession standin;
    standin.setFaults(faults);
    Plugin plugin;
    FormatRecord record = pcm(1, 44100, 16);
    const std::vector<int32_t> codes = convert(plugin.exports, standin.outputPath("r.rm"), record.plain(), data, 16384);
    EXPECT_EQ(codes.front(), 0) << faults;
    int refusals = 0;
    for (size_t i = 1; i < codes.size(); ++i) refusals += codes[i] == kFailed;
    EXPECT_GE(refusals, 1) << faults;
    EXPECT_EQ(codes.back(), 0) << faults << ": the final block should deliver everything";
    const std::vector<uint8_t> accepted = standin.acceptedPcm();
    EXPECT_TRUE(std::string(accepted.begin(), accepted.end()) == expected)
        << faults << ": " << accepted.size() << " bytes accepted, " << expected.size() << " expected";
    EXPECT_EQ(StandinSession::liveObjects(), 0) << faults;
  }
}

// A final block whose chunks the engine refused: a repeated final call
// delivers the rest and completes the file; a host that deletes the object
// instead gets no file at all, never a short one that looks whole.
TEST_F(HostileExportsTest, ARefusedFinalBlockCompletesTheFileOnlyWhenAFinalCallDeliversTheRest) {
  const std::vector<uint8_t> data = tone(44100 * 2);  // 1 s in one final block
  const std::string expected = undisturbedPcm(data, data.size());
  for (bool repeated : {true, false}) {
    StandinSession standin;
    standin.setFaults("InputPin.6@3=80004005");
    Plugin plugin;
    FormatRecord record = pcm(1, 44100, 16);
    int32_t code = 77;
    CompressionObject* object = plugin.exports.create(standin.outputPath("f.rm").c_str(), &code, &record.plain());
    ASSERT_EQ(code, 0);
    plugin.exports.block(object, data.data(), uint32_t(data.size()), 1, &code);
    EXPECT_EQ(code, kFailed);
    if (repeated) {
      plugin.exports.block(object, nullptr, 0, 1, &code);
      EXPECT_EQ(code, 0);
    }
    plugin.exports.destroy(object);
    const std::vector<uint8_t> accepted = standin.acceptedPcm();
    EXPECT_EQ(std::string(accepted.begin(), accepted.end()) == expected, repeated);
    EXPECT_EQ(fileExists(standin.outputPath("f.rm")), repeated) << repeated;
    EXPECT_EQ(StandinSession::liveObjects(), 0);
  }
}

TEST_F(HostileExportsTest, AnEngineThatRefusesEveryChunkGetsCode3ForEveryBlockAndNoLeak) {
  const std::vector<uint8_t> data = tone(44100 * 2);
  StandinSession standin;
  standin.setFaults("InputPin.6=80004005");
  Plugin plugin;
  FormatRecord record = pcm(1, 44100, 16);
  const std::vector<int32_t> codes = convert(plugin.exports, standin.outputPath("e.rm").c_str(), record.plain(), data, 4096);
  ASSERT_EQ(codes.front(), 0);
  // Blocks that made no chunk yet are fine; the final one must report.
  EXPECT_EQ(codes.back(), kFailed);
  EXPECT_TRUE(standin.acceptedPcm().empty());
  EXPECT_EQ(StandinSession::liveObjects(), 0);
}

// Settings of every registry type and of sizes 0 to 300 bytes: the plug-in
// loads, reports an extension that ends within 260 bytes, and a conversion
// succeeds without a leak: whatever the catalogue does not offer reads as its
// default. Seeded, so a failure repeats.
TEST_F(HostileExportsTest, SettingsOfAnyTypeAndSizeNeverBreakLoadingOrAConversion) {
  const char* const names[] = {"ZVKRMFreq", "ZVKRMAudioFormat", "ZVKRMSurestream", "ZVKRMTarget0", "ZVKRMTarget3",
                               "ZVKRMTitleArtist", "ZVKRMExt"};
  const DWORD types[] = {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_MULTI_SZ,
                         REG_QWORD};
  const uint32_t interestingWords[] = {0, 1, 2, 3, 4, 7, 8000, 12345, 44100, 384000, 0x7FFFFFFF, 0xFFFFFFFF};
  std::mt19937 random(20261207);
  const std::vector<uint8_t> data = tone(4410 * 2);
  for (int round = 0; round < 40; ++round) {
    ASSERT_TRUE(hostkey::resetToEmpty());
    for (const char* name : names) {
      if (random() % 3 == 0) continue;  // absent
      const DWORD type = types[random() % (sizeof types / sizeof types[0])];
      std::vector<uint8_t> bytes;
      switch (random() % 4) {
        case 0: {  // a plausible or extreme number
          const uint32_t word = interestingWords[random() % (sizeof interestingWords / sizeof interestingWords[0])];
          bytes.assign(reinterpret_cast<const uint8_t*>(&word), reinterpret_cast<const uint8_t*>(&word) + 4);
          break;
        }
        case 1:
          bytes.resize(random() % 9);  // around a word's size
          break;
        default:
          bytes.resize(random() % 301);
          break;
      }
      for (size_t i = 0; i < bytes.size() && random() % 4 != 0; ++i) bytes[i] = uint8_t(random());
      ASSERT_TRUE(hostkey::setRaw(name, type, bytes.data(), DWORD(bytes.size())));
    }
    StandinSession standin;
    Plugin plugin;
    ASSERT_TRUE(plugin.exports.complete()) << "round " << round;
    char extension[300];
    std::memset(extension, 0xCC, sizeof extension);
    plugin.exports.extension(extension);
    EXPECT_NE(std::memchr(extension, 0, 260), nullptr) << "round " << round << ": extension not terminated";
    for (size_t i = 260; i < sizeof extension; ++i) ASSERT_EQ(uint8_t(extension[i]), 0xCC) << "round " << round;

    FormatRecord record = pcm(2, 22050, 16);
    const std::vector<int32_t> codes = convert(plugin.exports, standin.outputPath("s.rm"), record.plain(), data, 4096);
    for (int32_t code : codes) EXPECT_EQ(code, 0) << "round " << round;
    EXPECT_EQ(StandinSession::liveObjects(), 0) << "round " << round;
  }
}

}  // namespace
