// Drives the built srconv binary through the shell and checks its exit
// status, its output bytes and its messages.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "windows/speaker_layout.h"
#include "wavfile/wav_reader.h"
#include "wavfile/wav_writer.h"

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

// Runs srconv with `args`, `input` on stdin; `pipes`: stdin and stdout are
// pipes rather than files.
Outcome runSrconv(const std::string& args, const Bytes& input = {}, bool pipes = false) {
  const std::string in = tempPath("stdin"), out = tempPath("stdout"), err = tempPath("stderr"), st = tempPath("status");
  writeFile(in, input);
  const std::string srconv = std::string("'") + SRCONV_PATH + "' " + args;
  std::string command = srconv + " < '" + in + "' > '" + out + "' 2> '" + err + "'";
  if (pipes) command = "cat '" + in + "' | { " + srconv + " 2> '" + err + "'; echo $? > '" + st + "'; } | cat > '" + out + "'";
  int raw = std::system(command.c_str());
  Outcome run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const Bytes status = readFile(st);
  if (pipes) run.status = std::atoi(std::string(status.begin(), status.end()).c_str());
  run.out = readFile(out);
  Bytes errBytes = readFile(err);
  run.err.assign(errBytes.begin(), errBytes.end());
  for (const std::string& path : {in, out, err, st}) std::remove(path.c_str());
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
  // The converter's own reason, never lack of memory.
  for (std::string args : {rawArgs(44100, 48000, 60000, 16), rawArgs(44100, 1, 2, 16)}) {
    run = runSrconv(args, noise(4000, 1));
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(run.err.find("memory"), std::string::npos) << run.err;
  }
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
  // Every size is bounded, with a message: no crash, no attempt.
  for (std::string args : {rawArgs(44100, 48000, 2, 16) + " --block-bytes 1000000000",
                           rawArgs(8000, 384000, 2, 16) + " --block-bytes 67108864"}) {
    Outcome run = runSrconv(args, noise(4000, 2));
    EXPECT_EQ(run.status, 1) << args;
    EXPECT_NE(run.err.find("--block-bytes"), std::string::npos) << run.err;
  }
  for (std::string unknown : {"-x", "--bogus=1"})
    EXPECT_NE(runSrconv(rawArgs(44100, 48000, 2, 16) + " " + unknown).err.find("unknown option " + unknown), std::string::npos);
}

TEST(SrconvCommandLine, HelpDoubleDashAndInlineValues) {
  for (std::string help : {"--help", "-h", "--out-rate 5 --help"}) {
    Outcome run = runSrconv(help);
    EXPECT_EQ(run.status, 0) << help;
    EXPECT_EQ(std::string(run.out.begin(), run.out.end()).rfind("usage:", 0), 0u) << help;
  }
  const Bytes input = noise(4 * 5000, 7);
  Outcome spaced = runSrconv(rawArgs(44100, 48000, 2, 16) + " --block-bytes 999", input);
  Outcome inlined = runSrconv("--in-rate=44100 --out-rate=48000 --channels=2 --bits=16 --block-bytes=999", input);
  ASSERT_EQ(inlined.status, 0) << inlined.err;
  EXPECT_TRUE(inlined.out == spaced.out);
  // After --, a name that starts with a dash is a file.
  const std::string dir = tempPath("dash");
  mkdir(dir.c_str(), 0700);
  char* home = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  WavWriter writer;
  ASSERT_TRUE(writer.open("-in.wav", WavFormat{2, 44100, 16}) && writer.write(input.data(), input.size()) && writer.close());
  Outcome dashed = runSrconv("--out-rate 48000 -- -in.wav -out.wav");
  EXPECT_EQ(dashed.status, 0) << dashed.err;
  EXPECT_EQ(access("-out.wav", F_OK), 0);
  EXPECT_EQ(chdir(home), 0);
  free(home);
  EXPECT_EQ(system(("rm -r '" + dir + "'").c_str()), 0);
}

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* listing = opendir(dir.c_str());
  for (dirent* entry; listing != nullptr && (entry = readdir(listing)) != nullptr;)
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  if (listing != nullptr) closedir(listing);
  return names;
}

// Starts srconv converting `in` into `out`, its messages into `err` and its
// standard input from `input` (unless -1); 0 if it cannot.
pid_t startConversion(const std::string& in, const std::string& out, const std::string& err, int input = -1) {
  const char* argv[] = {SRCONV_PATH, in.c_str(), out.c_str(), "--out-rate", "48000", nullptr};
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (input >= 0) posix_spawn_file_actions_adddup2(&files, input, 0);
  pid_t pid = 0;
  EXPECT_EQ(posix_spawn(&pid, SRCONV_PATH, &files, nullptr, const_cast<char**>(argv), environ), 0);
  posix_spawn_file_actions_destroy(&files);
  return pid;
}

// Whatever ends a WAV conversion early, nothing remains in the output folder:
// an interrupt exits 128 + signal with one line, a shrinking input with 1.
TEST(SrconvWav, InterruptsAndReadErrorsLeaveNoOutput) {
  const std::string in = tempPath("long.wav"), outDir = tempPath("out_dir"), err = tempPath("interrupt_err");
  for (int action : {SIGINT, SIGTERM, 0}) {
    WavWriter writer;  // 60 s of stereo noise: converting it takes a while
    ASSERT_TRUE(writer.open(in.c_str(), WavFormat{2, 44100, 16}));
    const Bytes second = noise(4 * 44100, 8);
    for (int i = 0; i < 60; ++i) ASSERT_TRUE(writer.write(second.data(), second.size()));
    ASSERT_TRUE(writer.close());
    mkdir(outDir.c_str(), 0700);
    pid_t pid = startConversion(in, outDir + "/out.wav", err);
    ASSERT_GT(pid, 0);
    int status = 0;
    while (entries(outDir).empty() && waitpid(pid, &status, WNOHANG) == 0) usleep(1000);  // until it writes
    ASSERT_EQ(kill(pid, action == 0 ? SIGSTOP : action), 0) << "srconv ended before it wrote anything";
    if (action == 0) {
      ASSERT_EQ(truncate(in.c_str(), 100000), 0);
      kill(pid, SIGCONT);
    }
    waitpid(pid, &status, 0);
    const Bytes bytes = readFile(err);
    const std::string message(bytes.begin(), bytes.end());
    SCOPED_TRACE(message);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), action == 0 ? 1 : 128 + action);
    EXPECT_TRUE(isOneLine(message));
    EXPECT_TRUE(action != 0 || message.find("shrank") != std::string::npos);
    EXPECT_TRUE(entries(outDir).empty()) << entries(outDir).front();
    rmdir(outDir.c_str());
  }
  std::remove(in.c_str());
  std::remove(err.c_str());
}

// A full disk is said as such, and the partial output goes.
TEST(SrconvWav, DiskFullLeavesNoOutput) {
  const std::string in = tempPath("full_in.wav"), dir = tempPath("small_disk");
  const Bytes pcm = noise(4 * 100000, 9);
  WavWriter writer;
  ASSERT_TRUE(writer.open(in.c_str(), WavFormat{2, 44100, 16}) && writer.write(pcm.data(), pcm.size()) && writer.close());
  mkdir(dir.c_str(), 0700);
  if (std::system("unshare -rm true 2>/dev/null") != 0) GTEST_SKIP() << "no user namespaces for a small disk";
  const std::string log = tempPath("full_log");
  std::system(("unshare -rm sh -c 'mount -t tmpfs -o size=128k none " + dir + " && \"" SRCONV_PATH "\" " + in + " " + dir +
               "/out.wav --out-rate 48000; echo status $?; ls " + dir + "' > " + log + " 2>&1").c_str());
  const Bytes bytes = readFile(log);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("disk full"), std::string::npos) << text;
  EXPECT_NE(text.find("status 1\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("\nout.wav"), std::string::npos) << "a file remained: " << text;
  std::remove(log.c_str());
  rmdir(dir.c_str());
  std::remove(in.c_str());
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
  EXPECT_EQ(le32(64), raw.out.size());        // data size, after the extensible fmt chunk

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

  const Bytes before = readFile(in);
  Outcome overwrite = runSrconv("'" + in + "' '" + in + "' --out-rate 22050");
  EXPECT_EQ(overwrite.status, 1);
  EXPECT_TRUE(readFile(in) == before) << "the input was damaged";
  std::remove(in.c_str());
  std::remove(out.c_str());
}

Bytes wavFile(const WavFormat& format, const Bytes& pcm) {
  const std::string path = tempPath("made.wav");
  WavWriter writer;
  EXPECT_TRUE(writer.open(path.c_str(), format) && writer.write(pcm.data(), pcm.size()) && writer.close());
  Bytes bytes = readFile(path);
  std::remove(path.c_str());
  return bytes;
}

uint32_t le32At(const Bytes& file, size_t at) {
  return uint32_t(file[at]) | uint32_t(file[at + 1]) << 8 | uint32_t(file[at + 2]) << 16 | uint32_t(file[at + 3]) << 24;
}

// The output keeps the input's speakers, in WAVE_FORMAT_EXTENSIBLE exactly
// where the format needs it.
TEST(SrconvWav, KeepsTheSpeakerLayoutAndWritesExtensibleWhereTheFormatNeeds) {
  std::mt19937 random(21);
  const std::string in = tempPath("layout_in.wav"), out = tempPath("layout_out.wav");
  for (int round = 0; round < 12; ++round) {
    WavFormat format{1 + int(random() % 8), 22050, 8 * (1 + int(random() % 3))};
    format.channelMask = round % 3 == 0 ? 0 : uint32_t(random());  // 0: the usual layout for the count
    writeFile(in, wavFile(format, noise(size_t(format.frameBytes()) * 500, round)));
    Outcome run = runSrconv("'" + in + "' '" + out + "' --out-rate 44100");
    ASSERT_EQ(run.status, 0) << run.err;
    const Bytes file = readFile(out);
    ASSERT_EQ((file[20] | file[21] << 8) == 0xFFFE, format.channels > 2 || format.bitsPerSample > 16) << round;
    const uint32_t layout = format.channelMask != 0 ? format.channelMask : defaultChannelMask(format.channels);
    if (format.needsExtensible()) { EXPECT_EQ(le32At(file, 40), layout); }
  }
  std::remove(in.c_str());
  std::remove(out.c_str());
}

// "-" is standard input or output, and a pipe is read as it comes: through
// pipes srconv gives what it gives between files.
TEST(SrconvWav, DashAndPipesAreStandardStreams) {
  const std::string in = tempPath("stream_in.wav"), out = tempPath("stream_out.wav");
  WavFormat format{3, 44100, 16, 0x107};
  const Bytes input = wavFile(format, noise(6 * 30001, 11));
  writeFile(in, input);
  ASSERT_EQ(runSrconv("'" + in + "' '" + out + "' --out-rate 48000").status, 0);
  const Bytes reference = readFile(out);  // sizes patched; the pipe's stay placeholders
  std::remove("-");
  Outcome piped = runSrconv("- - --out-rate 48000", input, true);
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_NE(access("-", F_OK), 0) << "wrote a file named -";
  EXPECT_EQ(le32At(piped.out, 40), 0x107u);
  EXPECT_TRUE(Bytes(piped.out.begin() + 68, piped.out.end()) == Bytes(reference.begin() + 68, reference.end()));
  Outcome named = runSrconv("/dev/stdin '" + out + "' --out-rate 48000", input, true);
  ASSERT_EQ(named.status, 0) << named.err;
  EXPECT_TRUE(readFile(out) == reference);
  // A stream cannot go back for a fmt chunk behind the data.
  Bytes dataFirst(input.begin(), input.begin() + 12);
  dataFirst.insert(dataFirst.end(), input.begin() + 60, input.end());  // the data chunk, then fmt
  dataFirst.insert(dataFirst.end(), input.begin() + 12, input.begin() + 60);
  Outcome refused = runSrconv("- '" + out + "' --out-rate 48000", dataFirst, true);
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("standard input: the fmt chunk follows the data chunk"), std::string::npos) << refused.err;
  std::remove(in.c_str());
  std::remove(out.c_str());
}

// A data size of 0 that its writer never filled in, in a form of true size:
// the audio after it is converted, and one line says so.
TEST(SrconvWav, ConvertsTheAudioAfterADataSizeOfZeroAndSaysSo) {
  const std::string in = tempPath("unset_in.wav"), out = tempPath("unset_out.wav"), whole = tempPath("whole.wav");
  Bytes input = wavFile(WavFormat{2, 44100, 16}, noise(4 * 88200, 12));
  writeFile(in, input);
  ASSERT_EQ(runSrconv("'" + in + "' '" + whole + "' --out-rate 48000").status, 0);
  std::fill_n(input.begin() + std::string(input.begin(), input.end()).find("data") + 4, 4, 0);
  writeFile(in, input);
  Outcome run = runSrconv("'" + in + "' '" + out + "' --out-rate 48000");
  EXPECT_TRUE(run.status == 0 && isOneLine(run.err) && run.err.find("size is 0") != std::string::npos) << run.err;
  EXPECT_TRUE(readFile(out) == readFile(whole));
  for (const std::string& path : {in, out, whole}) std::remove(path.c_str());
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Starts srconv converting a pipe into `out` and gives the pipe the start of
// `wav`: srconv waits midway for the rest while `feed` is open. Returns the
// temporary it made, once it has ("" if it ended first).
std::string startWaitingRun(const std::string& out, const Bytes& wav, pid_t& pid, int& feed) {
  const std::string dir = out.substr(0, out.rfind('/'));
  const std::vector<std::string> before = entries(dir);
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return "";
  pid = startConversion("-", out, "/dev/null", ends[0]);
  close(ends[0]);
  feed = ends[1];
  if (pid <= 0 || write(feed, wav.data(), 60000) != 60000) return "";  // within a pipe's buffer: no wait
  for (int status = 0; waitpid(pid, &status, WNOHANG) == 0; usleep(1000))
    for (const std::string& name : entries(dir))
      if (!contains(before, name)) return name;
  return "";
}

void killAndWait(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// kill -9 leaves srconv's temporary behind; the next srconv writing the same
// output removes it, and keeps the temporary of a run that still lives, those
// of other outputs and every other file.
TEST(SrconvWav, ALaterRunRemovesTheTemporariesOfKilledRunsOnly) {
  const std::string dir = tempPath("killed"), in = tempPath("killed_in.wav"), reference = tempPath("reference.wav");
  const Bytes wav = wavFile(WavFormat{2, 44100, 16}, noise(4 * 20000, 14));
  writeFile(in, wav);
  mkdir(dir.c_str(), 0700);
  std::vector<std::string> names = {"out.wav.part", "out.wav.1.part", "out.wav.notes"};  // none of srconv's
  for (const std::string& name : names) writeFile(dir + "/" + name, noise(10, 15));
  pid_t runs[3] = {};  // one that lives, one killed, one killed writing another output
  int feeds[3] = {-1, -1, -1};
  for (int i = 0; i < 3; ++i) {
    names.push_back(startWaitingRun(dir + (i < 2 ? "/out.wav" : "/other.wav"), wav, runs[i], feeds[i]));
    ASSERT_NE(names.back(), "") << "srconv wrote nothing";
    if (i > 0) killAndWait(runs[i]);
  }
  Outcome next = runSrconv("'" + in + "' '" + dir + "/out.wav' --out-rate 48000");
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(runSrconv("'" + in + "' '" + reference + "' --out-rate 48000").status, 0);
  const std::vector<std::string> left = entries(dir);
  const std::string killedTemporary = names[4];  // the second run's
  for (const std::string& name : names) EXPECT_EQ(contains(left, name), name != killedTemporary) << name;
  EXPECT_TRUE(readFile(dir + "/out.wav") == readFile(reference));
  killAndWait(runs[0]);
  for (int feed : feeds) close(feed);
  EXPECT_EQ(system(("rm -r '" + dir + "'").c_str()), 0);
  for (const std::string& path : {in, reference}) std::remove(path.c_str());
}

}  // namespace
