// Drives the built srconv binary through the shell and checks its exit
// status, its output bytes and its messages.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "wav_reader.h"
#include "wav_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Unique per process: ctest runs the cases of this file in parallel.
std::string tempPath(const std::string& name) {
  return std::string(::testing::TempDir()) + "srconv_test_" + std::to_string(getpid()) + "_" + name;
}

void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct Outcome {
  int status = -1;
  Bytes out;
  std::string err;
};

// Runs srconv with `args`, `input` on stdin.
Outcome runSrconv(const std::string& args, const Bytes& input = {}) {
  const std::string in = tempPath("stdin"), out = tempPath("stdout"), err = tempPath("stderr");
  writeFile(in, input);
  std::string command = std::string("'") + SRCONV_PATH + "' " + args + " < '" + in + "' > '" + out + "' 2> '" + err + "'";
  int raw = std::system(command.c_str());
  Outcome run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = readFile(out);
  Bytes errBytes = readFile(err);
  run.err.assign(errBytes.begin(), errBytes.end());
  for (const std::string& path : {in, out, err}) std::remove(path.c_str());
  return run;
}

bool isOneLine(const std::string& text) { return !text.empty() && text.find('\n') == text.size() - 1; }

Bytes noise(size_t bytes, unsigned seed) {
  std::mt19937 random(seed);
  Bytes data(bytes);
  for (auto& b : data) b = uint8_t(random());
  return data;
}

std::string rawArgs(int inRate, int outRate, int channels, int bits) {
  return "--in-rate " + std::to_string(inRate) + " --out-rate " + std::to_string(outRate) + " --channels " +
         std::to_string(channels) + " --bits " + std::to_string(bits);
}

// The integer value of "key": in a one-line JSON object, or -1.
long long jsonValue(const std::string& json, const std::string& key) {
  size_t at = json.find("\"" + key + "\":");
  if (at == std::string::npos) return -1;
  return std::atoll(json.c_str() + at + key.size() + 3);
}

TEST(SrconvRefuses, UnsupportedRatePairWithStatus2AndOneLine) {
  Outcome run = runSrconv(rawArgs(40000, 48000, 2, 16), noise(4000, 1));
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(isOneLine(run.err)) << run.err;
  EXPECT_NE(run.err.find("40000 -> 48000"), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.empty());
}

TEST(SrconvRefuses, UnsupportedSampleWidthsWithStatus2AndOneLine) {
  for (int bits : {32, 12}) {
    Outcome run = runSrconv(rawArgs(44100, 48000, 2, bits), noise(4000, 2));
    EXPECT_EQ(run.status, 2) << bits;
    EXPECT_TRUE(isOneLine(run.err)) << run.err;
    EXPECT_NE(run.err.find(std::to_string(bits) + "-bit"), std::string::npos) << run.err;
  }
}

TEST(SrconvRefuses, MalformedWavWithStatus2AndOneLine) {
  const std::string in = tempPath("bad.wav"), out = tempPath("bad_out.wav");
  Bytes truncated = {'R', 'I', 'F', 'F', 100, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  writeFile(in, truncated);
  Outcome run = runSrconv("'" + in + "' '" + out + "' --out-rate 44100");
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(isOneLine(run.err)) << run.err;
  EXPECT_NE(run.err.find("RIFF size"), std::string::npos) << run.err;
  std::remove(in.c_str());
}

TEST(SrconvRefuses, MalformedCommandLinesWithStatus1) {
  EXPECT_EQ(runSrconv("--in-rate 44100 --channels 2 --bits 16").status, 1);  // no --out-rate
  EXPECT_EQ(runSrconv(rawArgs(44100, 48000, 2, 16) + " --bogus 1").status, 1);
  EXPECT_EQ(runSrconv(rawArgs(44100, 48000, 2, 16) + " --block-bytes 0").status, 1);
  EXPECT_EQ(runSrconv(rawArgs(44100, 48000, 2, 16) + " --blocks 1,x").status, 1);
  EXPECT_EQ(runSrconv(rawArgs(44100, 48000, 2, 16) + " --blocks 4 --block-bytes 4").status, 1);
  EXPECT_EQ(runSrconv("a.wav --out-rate 48000").status, 1);
}

// Host block boundaries must not change a single output byte: the converter
// carries partial stage blocks and partial frames between calls.
TEST(SrconvSplitting, EveryBlockPlanGivesIdenticalOutput) {
  struct Pair {
    int in, out;
  };
  for (Pair pair : {Pair{44100, 48000}, Pair{48000, 44100}}) {
    SCOPED_TRACE(std::to_string(pair.in) + " -> " + std::to_string(pair.out));
    const Bytes input = noise(4 * 70001, 3);  // 16-bit stereo
    const std::string args = rawArgs(pair.in, pair.out, 2, 16);
    Outcome reference = runSrconv(args, input);
    ASSERT_EQ(reference.status, 0) << reference.err;
    ASSERT_FALSE(reference.out.empty());
    for (const char* plan : {"--block-bytes 4097", "--block-bytes 1000000", "--blocks 10,0,70000,3,131071",
                             "--blocks 280004", "--blocks 1,1,1"}) {
      Outcome split = runSrconv(args + " " + plan, input);
      ASSERT_EQ(split.status, 0) << plan << ": " << split.err;
      EXPECT_TRUE(split.out == reference.out) << plan << " changed the output (" << split.out.size() << " vs "
                                             << reference.out.size() << " bytes)";
    }
  }
}

// The stream ends exactly floor(framesIn * out / in) + 2 frames long.
TEST(SrconvLength, OutputHasFloorOfScaledInputPlusTwoFrames) {
  struct Case {
    int in, out, channels, bits;
    size_t frames;
  };
  for (Case c : {Case{44100, 48000, 2, 16, 44100}, Case{48000, 44100, 1, 24, 30011}, Case{44100, 22050, 1, 8, 20001},
                 Case{22050, 44100, 2, 16, 9999}, Case{32000, 44100, 1, 16, 50000}, Case{96000, 44100, 2, 16, 96007}}) {
    SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.out));
    size_t frameBytes = size_t(c.channels * c.bits / 8);
    Outcome run = runSrconv(rawArgs(c.in, c.out, c.channels, c.bits) + " --info", noise(c.frames * frameBytes, 4));
    ASSERT_EQ(run.status, 0) << run.err;
    size_t expected = size_t(std::floor(double(c.frames) * c.out / c.in)) + 2;
    EXPECT_EQ(run.out.size(), expected * frameBytes);
    EXPECT_EQ(jsonValue(run.err, "framesIn"), (long long)c.frames);
    EXPECT_EQ(jsonValue(run.err, "framesOut"), (long long)expected);
  }
}

TEST(SrconvInfo, PrintsTheDesignOf44100To48000AsOneJsonLine) {
  Outcome run = runSrconv(rawArgs(44100, 48000, 2, 16) + " --info", noise(4 * 1000, 5));
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_TRUE(isOneLine(run.err)) << run.err;
  EXPECT_EQ(run.err.front(), '{');
  EXPECT_EQ(run.err[run.err.size() - 2], '}');
  EXPECT_EQ(jsonValue(run.err, "q"), 3);
  EXPECT_EQ(jsonValue(run.err, "stage1Rate"), 7056000);
  EXPECT_EQ(jsonValue(run.err, "stage2Rate"), 144000);
  EXPECT_EQ(jsonValue(run.err, "stage1Length"), 1595);
  EXPECT_EQ(jsonValue(run.err, "stage2Length"), 16383);
  EXPECT_EQ(jsonValue(run.err, "tapsPerPhase"), 10);
  EXPECT_EQ(jsonValue(run.err, "phases"), 160);
  EXPECT_EQ(jsonValue(run.err, "M"), 32768);
  EXPECT_EQ(jsonValue(run.err, "outputDelay"), 2730);
  EXPECT_EQ(jsonValue(run.err, "framesIn"), 1000);
  EXPECT_EQ(jsonValue(run.err, "framesOut"), (long long)run.out.size() / 4);
  // The frame counts come last.
  EXPECT_LT(run.err.find("\"outputDelay\""), run.err.find("\"framesIn\""));
  EXPECT_LT(run.err.find("\"framesIn\""), run.err.find("\"framesOut\""));
}

TEST(SrconvWav, WritesAWavWithTheOutputRateAndTheRawModeData) {
  const std::string in = tempPath("in.wav"), out = tempPath("out.wav");
  const Bytes pcm = noise(6 * 40000, 6);  // 24-bit stereo, 40000 frames
  {
    WavWriter writer;
    ASSERT_TRUE(writer.open(in.c_str(), WavFormat{2, 44100, 24}));
    ASSERT_TRUE(writer.write(pcm.data(), pcm.size()));
    ASSERT_TRUE(writer.close());
  }
  Outcome wav = runSrconv("'" + in + "' '" + out + "' --out-rate 22050 --block-bytes 5000");
  ASSERT_EQ(wav.status, 0) << wav.err;
  EXPECT_TRUE(wav.err.empty()) << "no progress bar when stderr is not a terminal: " << wav.err;
  Outcome raw = runSrconv(rawArgs(44100, 22050, 2, 24), pcm);
  ASSERT_EQ(raw.status, 0) << raw.err;

  Bytes file = readFile(out);
  ASSERT_GE(file.size(), 44u);
  auto le32 = [&](size_t at) {
    return uint32_t(file[at]) | uint32_t(file[at + 1]) << 8 | uint32_t(file[at + 2]) << 16 | uint32_t(file[at + 3]) << 24;
  };
  EXPECT_EQ(le32(4), file.size() - 8);        // RIFF size
  EXPECT_EQ(le32(24), 22050u);                // sample rate
  EXPECT_EQ(le32(28), 22050u * 6);            // bytes per second
  EXPECT_EQ(file[32] | file[33] << 8, 6);     // block alignment
  EXPECT_EQ(le32(40), raw.out.size());        // data size

  WavReader reader;
  ASSERT_TRUE(reader.open(out.c_str())) << reader.error();
  EXPECT_EQ(reader.format().channels, 2);
  EXPECT_EQ(reader.format().bitsPerSample, 24);
  EXPECT_EQ(reader.format().sampleRate, 22050);
  EXPECT_EQ(reader.frameCount(), uint32_t(std::floor(40000.0 * 22050 / 44100)) + 2);
  Bytes data(reader.dataBytes());
  uint32_t got = 0;
  ASSERT_TRUE(reader.read(data.data(), uint32_t(data.size()), got));
  EXPECT_TRUE(data == raw.out) << "WAV mode and raw mode disagree";
  std::remove(in.c_str());
  std::remove(out.c_str());
}

}  // namespace
