// The stand-in's RealMedia writer, checked by reading its files back with
// ffprobe and by walking the chunks it wrote.
#include "standin-engine/rm_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
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
  // A writer with its temporary file made and its headers written.
  void start(RmFileWriter& writer, const RmClipInfo& info) {
    ASSERT_EQ(writer.create(path_), nullptr);
    ASSERT_TRUE(writer.begin(info));
  }
  std::string path_;
};

TEST_F(RmWriterTest, FfprobeShowsTextsRateChannelsAndEveryPacket) {
  RmFileWriter writer;
  start(writer, stereoClip());
  std::vector<uint8_t> pcm(4096, 0x11);
  for (uint32_t i = 1; i <= 10; ++i) ASSERT_TRUE(writer.writeAudio(pcm.data(), pcm.size()));
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

// Random clips in chunks of random size, up to four packets long: walked
// packet by packet, the file gives back the PCM in order, in packets of whole
// frames within the size limit, each stamped with its own start time and
// listed in the index.
TEST_F(RmWriterTest, PacketsHoldWholeFramesInOrderEachStampedWithItsStartTime) {
  std::mt19937 random(7);
  for (int round = 0; round < 12; ++round) {
    RmClipInfo info = stereoClip();
    info.sampleRate = 8000 + random() % 57536;
    info.channels = uint16_t(1 + random() % 2);
    const size_t frameBytes = info.channels * 2u;
    RmFileWriter writer;
    start(writer, info);
    std::vector<uint8_t> pcm;
    for (int chunk = 0; chunk < 8; ++chunk) {
      const size_t bytes = frameBytes * (1 + random() % (random() % 2 ? 60000 : 50));
      const size_t at = pcm.size();
      for (size_t i = 0; i < bytes; ++i) pcm.push_back(uint8_t(random()));
      ASSERT_TRUE(writer.writeAudio(pcm.data() + at, bytes));
    }
    ASSERT_TRUE(writer.finish());

    const std::vector<uint8_t> file = readFile(path_);
    const size_t prop = be32(file, 4);
    const uint32_t packetCount = be32(file, prop + 26), indexOffset = be32(file, prop + 38);
    std::vector<uint8_t> payload;
    for (size_t i = 0, packet = be32(file, prop + 42) + 18; i < packetCount; ++i) {
      const uint16_t length = be16(file, packet + 2);
      ASSERT_EQ((length - 12) % frameBytes, 0u) << "packet " << i << " splits a frame";
      EXPECT_EQ(be32(file, packet + 6), payload.size() / frameBytes * 1000 / info.sampleRate) << "packet " << i;
      EXPECT_EQ(be32(file, indexOffset + 20 + 14 * i + 2), be32(file, packet + 6)) << "index entry " << i;
      EXPECT_EQ(be32(file, indexOffset + 20 + 14 * i + 6), packet) << "index entry " << i;
      payload.insert(payload.end(), file.begin() + long(packet) + 12, file.begin() + long(packet) + length);
      packet += length;
    }
    ASSERT_EQ(payload, pcm) << "round " << round;
  }
}

TEST_F(RmWriterTest, NothingAppearsUnderTheOutputNameUntilFinish) {
  {
    RmFileWriter writer;
    start(writer, stereoClip());
    std::vector<uint8_t> pcm(4096);
    ASSERT_TRUE(writer.writeAudio(pcm.data(), pcm.size()));
    EXPECT_FALSE(fileExists(path_));
    EXPECT_TRUE(fileExists(writer.temporaryPath()));
  }  // destroyed without finish
  EXPECT_FALSE(fileExists(path_));
  EXPECT_FALSE(fileExists(path_ + ".partial"));
}

TEST_F(RmWriterTest, FinishReplacesAnOlderFileOfTheSameName) {
  { std::ofstream(path_) << "old contents"; }
  RmFileWriter writer;
  start(writer, stereoClip());
  ASSERT_TRUE(writer.finish());
  const std::vector<uint8_t> file = readFile(path_);
  ASSERT_GE(file.size(), 4u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), ".RMF");
}

TEST_F(RmWriterTest, RefusesRatesTheHeaderCannotHoldNamesTooLongAndUnwritableFolders) {
  RmClipInfo info = stereoClip();
  info.sampleRate = 96000;
  RmFileWriter writer;
  ASSERT_EQ(writer.create(path_), nullptr);
  EXPECT_FALSE(writer.begin(info));
  EXPECT_STREQ(writer.create("/nonexistent-folder/x.rm"), "cannot create the file");
  EXPECT_STREQ(writer.create(path_ + std::string(kRmMaxPathChars - path_.size() - 7, 'x')),
               "temporary file name too long");
  EXPECT_FALSE(writer.isOpen());
}

// The temporary file claims the output name while its writer is at work; one
// left behind by a writer that is gone does not.
TEST_F(RmWriterTest, AWriterAtWorkKeepsTheOutputNameALeftoverDoesNot) {
  RmFileWriter first, second;
  ASSERT_EQ(first.create(path_), nullptr);
  EXPECT_STREQ(second.create(path_), "output file is being written by another session");
  first.abandon();
  { std::ofstream(path_ + ".partial") << "left behind"; }
  EXPECT_EQ(second.create(path_), nullptr);
}

// A tone in both channels (the right one a fifth up), 16-bit little-endian.
std::vector<uint8_t> toneClip(uint32_t rate, uint16_t channels, size_t frames) {
  std::vector<uint8_t> pcm;
  for (size_t n = 0; n < frames; ++n) {
    for (uint16_t c = 0; c < channels; ++c) {
      const double hz = c ? 660.0 : 440.0;
      const auto v = int16_t(12000 * std::sin(2 * M_PI * hz * double(n) / rate));
      pcm.push_back(uint8_t(v & 0xFF));
      pcm.push_back(uint8_t((v >> 8) & 0xFF));
    }
  }
  return pcm;
}

// Decodes the file's audio with ffmpeg (CRCs checked, any error fatal) to
// 16-bit samples; false with the message when ffmpeg reports anything.
bool decodeWithFfmpeg(const std::string& path, std::vector<int16_t>& samples, std::string& errors) {
  const std::string raw = path + ".s16", log = path + ".log";
  const std::string command = std::string(FFMPEG_EXECUTABLE) + " -v error -nostdin -y -err_detect crccheck+explode -i '" +
                              path + "' -f s16le '" + raw + "' 2>'" + log + "'";
  const int status = std::system(command.c_str());
  const std::vector<uint8_t> text = readFile(log), bytes = readFile(raw);
  errors.assign(text.begin(), text.end());
  std::remove(raw.c_str());
  std::remove(log.c_str());
  samples.resize(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return status == 0 && errors.empty();
}

// Coded as AC-3 at every rate AC-3 can code, mono and stereo, random
// lengths in chunks of random size: ffprobe reads a dnet stream with the
// clip's rate, channels and true duration, one sync frame a packet stamped
// with its first sample's time; ffmpeg decodes every frame and plays every
// sample given, the tone among them.
TEST_F(RmWriterTest, DnetStreamsDecodeAtEveryRateToTheClipsLengthAndSound) {
  std::mt19937 random(11);
  const uint32_t rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
  for (int round = 0; round < 18; ++round) {
    RmClipInfo info = stereoClip();
    info.sampleRate = rates[round % 9];
    info.channels = uint16_t(1 + round % 2);
    info.codec = RmAudioCodec::Dnet;
    info.codedBitRate = ac3BitRateAtMost(info.sampleRate, 96000 * info.sampleRate / 48000);
    const size_t frames = random() % (3 * info.sampleRate / 2);
    const std::vector<uint8_t> pcm = toneClip(info.sampleRate, info.channels, frames);
    RmFileWriter writer;
    ASSERT_EQ(writer.create(path_), nullptr);
    ASSERT_TRUE(writer.begin(info)) << writer.beginFailure();
    for (size_t at = 0; at < pcm.size();) {
      const size_t bytes = std::min(pcm.size() - at, info.channels * 2u * (1 + random() % 3000));
      ASSERT_TRUE(writer.writeAudio(pcm.data() + at, bytes));
      at += bytes;
    }
    ASSERT_TRUE(writer.finish());
    const std::string where = std::to_string(info.sampleRate) + " Hz, " + std::to_string(info.channels) + " ch, " +
                              std::to_string(frames) + " frames";

    int status = -1;
    const std::string probe = runFfprobe(path_, status);
    EXPECT_EQ(status, 0) << probe;
    for (const std::string& expected : {std::string("codec_name=\"ac3\""), std::string("codec_tag_string=\"dnet\""),
                                       "sample_rate=\"" + std::to_string(info.sampleRate) + "\"",
                                       "channels=" + std::to_string(info.channels)})
      EXPECT_NE(probe.find("streams.stream.0." + expected), std::string::npos) << where << "\n" << probe;
    const std::string duration = "format.duration=\"";
    const size_t at = probe.find(duration);
    ASSERT_NE(at, std::string::npos) << probe;
    EXPECT_NEAR(std::atof(probe.c_str() + at + duration.size()), double(frames) / info.sampleRate, 0.0011) << where;

    const std::vector<uint8_t> file = readFile(path_);
    const size_t prop = be32(file, 4);
    for (size_t i = 0, packet = be32(file, prop + 42) + 18; i < be32(file, prop + 26); ++i) {
      EXPECT_EQ(be32(file, packet + 6), uint64_t(i) * 1536 * 1000 / info.sampleRate) << where << ", packet " << i;
      packet += be16(file, packet + 2);
    }

    std::vector<int16_t> decoded;
    std::string errors;
    EXPECT_TRUE(decodeWithFfmpeg(path_, decoded, errors)) << where << ": " << errors;
    const size_t decodedFrames = decoded.size() / info.channels;
    EXPECT_GE(decodedFrames, frames + 256) << where;
    EXPECT_LT(decodedFrames, frames + 256 + 1536) << where;
    // The tone comes back 256 samples late, well above the coding noise.
    double signal = 0, noise = 0;
    for (size_t n = 0; n < frames * info.channels && n + 256 * info.channels < decoded.size(); ++n) {
      const double in = int16_t(pcm[2 * n] | pcm[2 * n + 1] << 8);
      signal += in * in;
      noise += (decoded[n + 256 * info.channels] - in) * (decoded[n + 256 * info.channels] - in);
    }
    if (frames > 4096) {
      EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), 20.0) << where;
    }
  }
}

}  // namespace
