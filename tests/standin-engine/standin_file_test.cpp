// A whole session against the stand-in, its file read back with ffprobe.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "engine/clip_metadata.h"
#include "tests/engine/session_test_support.h"

namespace {

std::string ffprobe(const std::string& path,
                    const std::string& options = "-show_format -show_streams -count_packets -of flat") {
  std::string command = std::string(FFPROBE_EXECUTABLE) + " -v error " + options + " '" + path + "'";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    if (pclose(pipe) != 0) output += "\nffprobe failed";
  }
  return output;
}

// The file is AC-3 coded at the bit rate of the highest audience selected
// ("256k DSL" beside "28kbps": 224 kbps), one sync frame a packet, enough
// frames to play every sample accepted.
TEST_F(SessionTest, FfprobeReadsTheTextsFormatAndEveryFrameOfAStereoSession) {
  codedChannels = 2;
  settings.audioFormat = 3;
  settings.sampleRate = 44100;
  settings.targetAudiences[5] = 1;
  const std::string pcmPath = folder + "accepted.pcm";
  setEnvironment("RMBE_PCM", pcmPath);
  ASSERT_TRUE(start().ok());

  std::vector<int16_t> samples(44100 * 2);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(10000 * std::sin(double(i) * 0.01));
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(samples.data());
  const uint32_t total = static_cast<uint32_t>(samples.size() * 2);
  uint32_t elapsedMs = 0, chunks = 0;
  for (uint32_t done = 0; done < total; ++chunks) {
    const uint32_t n = std::min(session.chunkBytes, total - done);
    elapsedMs += n * 1000 / (44100 * 2 * 2);
    ASSERT_EQ(submitChunk(session, bytes + done, n, elapsedMs), kResultOk);
    done += n;
  }
  finishAndDispose();
  const uint32_t codedFrames = (44100 + 256 + 1535) / 1536;

  const std::string info = ffprobe(outputPath);
  const std::string year = formatCopyright(currentLocalYear());
  for (const std::string& expected :
       {std::string("format.tags.title=\"Song Title\""), std::string("format.tags.author=\"Artist\""),
        "format.tags.copyright=\"" + year + "\"", std::string("format.tags.comment=\"zVK Real Audio Converter\""),
        std::string("streams.stream.0.sample_rate=\"44100\""), std::string("streams.stream.0.channels=2"),
        std::string("streams.stream.0.codec_name=\"ac3\""), std::string("streams.stream.0.bit_rate=\"224000\""),
        "streams.stream.0.nb_read_packets=\"" + std::to_string(codedFrames) + "\""})
    EXPECT_NE(info.find(expected), std::string::npos) << "missing " << expected << " in\n" << info;
  EXPECT_EQ(readWholeFile(pcmPath), std::string(reinterpret_cast<const char*>(bytes), total));
  // Packet time stamps are start times: from 0, rising with every chunk.
  std::istringstream pts(ffprobe(outputPath, "-show_entries packet=pts -of csv=p=0"));
  std::vector<long> stamps{-1};
  for (long stamp; pts >> stamp;) stamps.push_back(stamp);
  ASSERT_EQ(stamps.size(), codedFrames + 1);
  EXPECT_EQ(stamps[1], 0);
  for (size_t i = 2; i < stamps.size(); ++i) EXPECT_GT(stamps[i], stamps[i - 1]) << "packet " << i - 1;
}

}  // namespace
