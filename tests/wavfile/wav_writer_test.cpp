#include "wavfile/wav_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "wavfile/wav_reader.h"

namespace {

std::string tempPath(const char* name) {
  return std::string(::testing::TempDir()) + "wavfile_" + std::to_string(getpid()) + "_" + name + ".wav";
}

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t le32At(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(WavWriter, RoundTripsThroughTheReaderForEachWidth) {
  for (int bits : {8, 16, 24}) {
    std::string path = tempPath(("roundtrip" + std::to_string(bits)).c_str());
    WavFormat format{3, 32000, bits};
    std::vector<uint8_t> data(size_t(format.frameBytes()) * 1001);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 + 3);
    WavWriter writer;
    ASSERT_TRUE(writer.open(path.c_str(), format)) << writer.error();
    // Pieces of uneven size, one of them empty.
    ASSERT_TRUE(writer.write(data.data(), 5));
    ASSERT_TRUE(writer.write(data.data() + 5, 0));
    ASSERT_TRUE(writer.write(data.data() + 5, data.size() - 5));
    ASSERT_TRUE(writer.close()) << writer.error();

    WavReader reader;
    ASSERT_TRUE(reader.open(path.c_str())) << reader.error();
    EXPECT_EQ(reader.format().channels, 3);
    EXPECT_EQ(reader.format().sampleRate, 32000);
    EXPECT_EQ(reader.format().bitsPerSample, bits);
    std::vector<uint8_t> back(data.size() + 16);
    uint32_t got = 0, total = 0;
    while (reader.read(back.data() + total, 999, got) && got > 0) total += got;
    EXPECT_EQ(total, data.size());
    back.resize(total);
    EXPECT_EQ(back, data);
    std::remove(path.c_str());
  }
}

TEST(WavWriter, WritesTheCanonicalHeaderAndPadsOddData) {
  std::string path = tempPath("header");
  WavWriter writer;
  ASSERT_TRUE(writer.open(path.c_str(), WavFormat{1, 11025, 8}));
  const uint8_t samples[3] = {1, 2, 3};
  ASSERT_TRUE(writer.write(samples, 3));
  ASSERT_TRUE(writer.close());
  std::vector<uint8_t> b = fileBytes(path);
  ASSERT_EQ(b.size(), 44u + 4u);  // 3 data bytes plus the pad byte
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(le32At(b, 4), 36u + 4u);
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(le32At(b, 16), 16u);
  EXPECT_EQ(b[20] | b[21] << 8, 1);      // PCM
  EXPECT_EQ(b[22] | b[23] << 8, 1);      // channels
  EXPECT_EQ(le32At(b, 24), 11025u);      // rate
  EXPECT_EQ(le32At(b, 28), 11025u);      // bytes per second
  EXPECT_EQ(b[32] | b[33] << 8, 1);      // block alignment
  EXPECT_EQ(b[34] | b[35] << 8, 8);      // bits
  EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
  EXPECT_EQ(le32At(b, 40), 3u);
  EXPECT_EQ(b[47], 0);
  std::remove(path.c_str());
}

TEST(WavWriter, RefusesFormatsItCannotDescribe) {
  std::string path = tempPath("refused");
  WavWriter writer;
  EXPECT_FALSE(writer.open(path.c_str(), WavFormat{2, 44100, 32}));
  EXPECT_FALSE(writer.open(path.c_str(), WavFormat{0, 44100, 16}));
  EXPECT_FALSE(writer.open(path.c_str(), WavFormat{30000, 44100, 24}));
  EXPECT_FALSE(writer.open(path.c_str(), WavFormat{2, 0, 16}));
  EXPECT_FALSE(writer.write(reinterpret_cast<const uint8_t*>("x"), 1));
  EXPECT_FALSE(writer.open("/nonexistent/dir/out.wav", WavFormat{2, 44100, 16}));
  EXPECT_NE(writer.error().find("cannot create"), std::string::npos);
}

TEST(WavWriter, DestructorFinishesAFileLeftOpen) {
  std::string path = tempPath("destructor");
  {
    WavWriter writer;
    ASSERT_TRUE(writer.open(path.c_str(), WavFormat{2, 48000, 16}));
    const uint8_t frame[4] = {1, 2, 3, 4};
    ASSERT_TRUE(writer.write(frame, 4));
  }
  WavReader reader;
  ASSERT_TRUE(reader.open(path.c_str())) << reader.error();
  EXPECT_EQ(reader.frameCount(), 1u);
  std::remove(path.c_str());
}

}  // namespace
