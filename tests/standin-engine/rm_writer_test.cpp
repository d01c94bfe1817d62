// The stand-in's RealMedia writer, checked by reading its files back with
// ffprobe and by walking the chunks it wrote.
#include "rm_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string runFfprobe(const std::string& path, int& status) {
  std::string command = std::string(FFPROBE_EXECUTABLE) +
                        " -v error -show_format -show_streams -count_packets -of flat '" + path + "'";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  status = pclose(pipe);
  return output;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}
uint16_t be16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] << 8 | b[at + 1]); }

bool fileExists(const std::string& path) {
  std::ifstream in(path);
  return in.good();
}

class RmWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "rm_writer_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".rm";
    std::remove(path_.c_str());
  }
  void TearDown() override { std::remove(path_.c_str()); }

  RmClipInfo stereoClip() {
    RmClipInfo info;
    info.title = "Song Title";
    info.author = "Artist";
    info.copyright = "(c)2026";
    info.comment = "zVK Real Audio Converter";
    info.sampleRate = 22050;
    info.channels = 2;
    info.fileFlags = 3;
    return info;
  }
  std::string path_;
};

TEST_F(RmWriterTest, FfprobeShowsTextsRateChannelsAndEveryPacket) {
  RmFileWriter writer;
  ASSERT_TRUE(writer.begin(path_, stereoClip()));
  std::vector<uint8_t> pcm(4096, 0x11);
  for (uint32_t i = 1; i <= 10; ++i) ASSERT_TRUE(writer.writeAudio(pcm.data(), pcm.size(), i * 23));
  ASSERT_TRUE(writer.finish());

  int status = -1;
  const std::string out = runFfprobe(path_, status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("format.format_name=\"rm\""), std::string::npos) << out;
  EXPECT_NE(out.find("format.tags.title=\"Song Title\""), std::string::npos) << out;
  EXPECT_NE(out.find("format.tags.author=\"Artist\""), std::string::npos) << out;
  EXPECT_NE(out.find("format.tags.copyright=\"(c)2026\""), std::string::npos) << out;
  EXPECT_NE(out.find("format.tags.comment=\"zVK Real Audio Converter\""), std::string::npos) << out;
  EXPECT_NE(out.find("streams.stream.0.codec_type=\"audio\""), std::string::npos) << out;
  EXPECT_NE(out.find("streams.stream.0.sample_rate=\"22050\""), std::string::npos) << out;
  EXPECT_NE(out.find("streams.stream.0.channels=2"), std::string::npos) << out;
  EXPECT_NE(out.find("streams.stream.0.nb_read_packets=\"10\""), std::string::npos) << out;
}

TEST_F(RmWriterTest, LargeChunksAreSplitIntoPacketsOfWholeFramesWithinTheSizeLimit) {
  RmClipInfo info = stereoClip();
  RmFileWriter writer;
  ASSERT_TRUE(writer.begin(path_, info));
  std::vector<uint8_t> pcm(200000);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(writer.writeAudio(pcm.data(), pcm.size(), 2267));
  ASSERT_TRUE(writer.finish());

  const std::vector<uint8_t> file = readFile(path_);
  ASSERT_GT(file.size(), 18u);
  // Walk the headers to the DATA chunk, reading the offsets PROP gives.
  ASSERT_EQ(std::string(file.begin(), file.begin() + 4), ".RMF");
  size_t at = be32(file, 4);
  ASSERT_EQ(std::string(file.begin() + at, file.begin() + at + 4), "PROP");
  const uint32_t packetCount = be32(file, at + 10 + 16);
  const uint32_t indexOffset = be32(file, at + 10 + 28);
  const uint32_t dataOffset = be32(file, at + 10 + 32);
  EXPECT_EQ(be16(file, at + 10 + 38), 3);  // saved | perfect play, never live
  ASSERT_EQ(std::string(file.begin() + dataOffset, file.begin() + dataOffset + 4), "DATA");
  ASSERT_EQ(std::string(file.begin() + indexOffset, file.begin() + indexOffset + 4), "INDX");
  EXPECT_EQ(be32(file, dataOffset + 10), packetCount);
  EXPECT_EQ(be32(file, dataOffset + 4), indexOffset - dataOffset);

  // Reassemble the payload: the PCM comes back byte for byte, in order.
  std::vector<uint8_t> payload;
  size_t packet = dataOffset + 18;
  for (uint32_t i = 0; i < packetCount; ++i) {
    const uint16_t length = be16(file, packet + 2);
    EXPECT_LE(length, 65535u);
    EXPECT_EQ((length - 12) % 4, 0u) << "packet " << i << " splits a frame";
    EXPECT_EQ(be32(file, packet + 6), 2267u);
    EXPECT_EQ(be32(file, indexOffset + 20 + 14 * i + 6), packet) << "index entry " << i;
    payload.insert(payload.end(), file.begin() + packet + 12, file.begin() + packet + length);
    packet += length;
  }
  EXPECT_EQ(packetCount, 4u);
  EXPECT_EQ(packet, indexOffset);
  EXPECT_EQ(payload, pcm);
  EXPECT_EQ(be32(file, indexOffset + 10), packetCount);
}

TEST_F(RmWriterTest, NothingAppearsUnderTheOutputNameUntilFinish) {
  {
    RmFileWriter writer;
    ASSERT_TRUE(writer.begin(path_, stereoClip()));
    std::vector<uint8_t> pcm(4096);
    ASSERT_TRUE(writer.writeAudio(pcm.data(), pcm.size(), 23));
    EXPECT_FALSE(fileExists(path_));
    EXPECT_TRUE(fileExists(writer.temporaryPath()));
  }  // destroyed without finish
  EXPECT_FALSE(fileExists(path_));
  EXPECT_FALSE(fileExists(path_ + ".partial"));
}

TEST_F(RmWriterTest, FinishReplacesAnOlderFileOfTheSameName) {
  { std::ofstream(path_) << "old contents"; }
  RmFileWriter writer;
  ASSERT_TRUE(writer.begin(path_, stereoClip()));
  ASSERT_TRUE(writer.finish());
  const std::vector<uint8_t> file = readFile(path_);
  ASSERT_GE(file.size(), 4u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), ".RMF");
}

TEST_F(RmWriterTest, RefusesRatesTheHeaderCannotHoldAndUnwritableFolders) {
  RmClipInfo info = stereoClip();
  info.sampleRate = 96000;
  RmFileWriter writer;
  EXPECT_FALSE(writer.begin(path_, info));
  EXPECT_FALSE(writer.begin("/nonexistent-folder/x.rm", stereoClip()));
  EXPECT_FALSE(writer.isOpen());
}

}  // namespace
