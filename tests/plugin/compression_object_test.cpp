// CompressionObject under Wine: real msacm32, the stand-in engine, the real
// sample-rate converter.
#include "plugin/compression_object.h"
#include "plugin/pcm_wave_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <string>
#include <vector>

#include "tests/plugin/allocation_faults.h"
#include "resample/sample_rate_converter.h"
#include "tests/plugin/standin_session.h"

namespace {

const double kPi = 3.14159265358979323846;
const int32_t kOk = CompressionObject::kOk;
const int32_t kFailed = CompressionObject::kFailed;

WAVEFORMATEX hostFormat(int channels, int bits, int rate) {
  return pcmWaveFormat(uint32_t(channels), uint32_t(rate), uint32_t(bits));
}

EncoderSettings settingsFor(int rate, int audioFormat) {
  EncoderSettings settings;
  settings.targetAudiences[0] = 1;
  settings.sampleRate = rate;
  settings.audioFormat = audioFormat;
  return settings;
}

void putSample(std::vector<uint8_t>& bytes, int bits, int value) {
  if (bits == 8) {
    bytes.push_back(uint8_t(value + 128));
    return;
  }
  for (int b = 0; b < bits / 8; ++b) bytes.push_back(uint8_t((value >> (8 * b)) & 0xFF));
}

// A few harmonics, different per channel: music-like, never clipping.
std::vector<uint8_t> tonePcm(int channels, int bits, int rate, int frames) {
  std::vector<uint8_t> bytes;
  double full = std::ldexp(1.0, bits - 1) - 1;
  for (int i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      double t = double(i) / rate;
      double v = 0.45 * std::sin(2 * kPi * (330 + 110 * c) * t) + 0.25 * std::sin(2 * kPi * 1250 * t + c);
      putSample(bytes, bits, int(std::lround(v * full)));
    }
  }
  return bytes;
}

std::vector<uint8_t> constantPcm(int channels, int bits, int frames, int value) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < frames * channels; ++i) putSample(bytes, bits, value);
  return bytes;
}

std::vector<int> decode16(const std::vector<uint8_t>& bytes) {
  std::vector<int> samples;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) samples.push_back(int16_t(bytes[i] | bytes[i + 1] << 8));
  return samples;
}

// The converter's whole output for `input`, in one call.
std::vector<uint8_t> resampleAll(const std::vector<uint8_t>& input, int channels, int bits, int inRate,
                                 int outRate) {
  SampleRateConverter converter;
  PcmFormat format;
  format.channels = channels;
  format.bitsPerSample = bits;
  format.sampleRate = inRate;
  EXPECT_TRUE(converter.configure(format, outRate));
  uint32_t count = uint32_t(input.size());
  uint8_t* output = nullptr;
  EXPECT_TRUE(converter.convertBlock(input.data(), count, true, output));
  std::vector<uint8_t> all(output, output + count);
  delete[] output;
  return all;
}

// Feeds `input` in blocks of `blockBytes`, the last with the end flag;
// returns the error codes of the block calls.
std::vector<int32_t> feed(CompressionObject& object, const std::vector<uint8_t>& input, size_t blockBytes) {
  std::vector<int32_t> codes;
  size_t offset = 0;
  do {
    size_t n = std::min(blockBytes, input.size() - offset);
    bool last = offset + n == input.size();
    codes.push_back(object.processBlock(input.data() + offset, uint32_t(n), last));
    offset += n;
  } while (offset < input.size());
  return codes;
}

class CompressionObjectTest : public ::testing::Test {
protected:
  StandinSession standin;
};

// --- creation -------------------------------------------------------------

TEST_F(CompressionObjectTest, CreatesAReadyObjectWithTheEngineFormat) {
  standin.setChunkBytes(3000);
  CompressionObject object;
  ASSERT_EQ(object.create(standin.outputPath("a.rm").c_str(), hostFormat(2, 16, 44100), settingsFor(22050, 3)), kOk);
  EXPECT_EQ(object.codedChannels(), 2);
  EXPECT_EQ(object.chunkBytes(), 3000u);
  EXPECT_EQ(object.pendingBytes(), 0u);
  EXPECT_EQ(object.elapsedMs(), 0u);
}

TEST_F(CompressionObjectTest, EachFailingEngineStepEndsCreationWithCode3AndDeletesCleanly) {
  struct Case { const char* faults; uint32_t chunkBytes; int step; };
  const Case cases[] = {
      {"Library.0=80004005", 4096, 3},            // no engine
      {"ClipProperties.8=80004005", 4096, 4},     // output file refused
      {"InputPin.4=80004005", 4096, 6},           // no pin properties
      {"PinProperties.0=80004002", 4096, 7},      // no audio properties
      {"AudioPinProperties.6=80004005", 4096, 8}, // sample width refused
      {"BuildEngine.17=80004005", 4096, 8},       // preparing refused
      {"ClassFactory.3@2=80004005", 4096, 9},     // no media sample
      {"InputPin.0=80004002", 4096, 10},          // no buffer-size interface
      {"", 0, 10},                                // an engine that wants 0-byte chunks
  };
  for (const Case& c : cases) {
    StandinSession session;
    session.setFaults(c.faults);
    session.setChunkBytes(c.chunkBytes);
    {
      CompressionObject object;
      EXPECT_EQ(object.create(session.outputPath("f.rm").c_str(), hostFormat(2, 16, 44100),
                              settingsFor(44100, 2)), kFailed) << c.faults;
      EXPECT_EQ(object.failedStep(), c.step) << c.faults;
      // A failed object refuses blocks without touching anything.
      uint8_t silence[4] = {};
      EXPECT_EQ(object.processBlock(silence, 4, true), kFailed);
    }
    EXPECT_EQ(StandinSession::liveObjects(), 0) << c.faults;
  }
}

TEST_F(CompressionObjectTest, FormatsTheConverterRefusesEndCreationWithCode3) {
  const WAVEFORMATEX refused[] = {hostFormat(2, 12, 44100), hostFormat(2, 32, 44100), hostFormat(0, 16, 44100),
                                  hostFormat(2, 16, 0)};
  for (const WAVEFORMATEX& format : refused) {
    {
      CompressionObject object;
      EXPECT_EQ(object.create(standin.outputPath("r.rm").c_str(), format, settingsFor(44100, 2)), kFailed);
      EXPECT_EQ(object.failedStep(), 11) << format.nChannels << "ch " << format.wBitsPerSample << "-bit";
    }
    EXPECT_EQ(StandinSession::liveObjects(), 0);
  }
}

MMRESULT ACMAPI refuseToOpen(LPHACMSTREAM, HACMDRIVER, LPWAVEFORMATEX, LPWAVEFORMATEX, LPWAVEFILTER,
                             DWORD_PTR, DWORD_PTR, DWORD) {
  return ACMERR_NOTPOSSIBLE;
}

TEST_F(CompressionObjectTest, AFormatConversionAcmCannotOpenEndsCreationWithCode3) {
  AcmFunctions acm = systemAcmFunctions();
  acm.open = refuseToOpen;
  {
    CompressionObject object(acm);
    EXPECT_EQ(object.create(standin.outputPath("x.rm").c_str(), hostFormat(2, 16, 44100), settingsFor(44100, 1)),
              kFailed);
    EXPECT_EQ(object.failedStep(), 12);
  }
  EXPECT_EQ(StandinSession::liveObjects(), 0);
}

TEST_F(CompressionObjectTest, AFileNameOf260CharactersIsRefusedBeforeTheEngineIsTouched) {
  std::string longName = standin.outputPath("");
  longName += std::string(260 - longName.size() - 3, 'n') + ".rm";
  ASSERT_EQ(longName.size(), 260u);
  {
    CompressionObject object;
    EXPECT_EQ(object.create(longName.c_str(), hostFormat(2, 16, 44100), settingsFor(44100, 2)), kFailed);
    EXPECT_EQ(object.failedStep(), 2);
  }
  EXPECT_EQ(standin.logLineCount(), 0u);  // not even the library was called
}

TEST_F(CompressionObjectTest, AllocationFailureAnywhereInCreationGivesCode3AndNoLeak) {
  unsigned n = 0;
  for (;; ++n) {
    StandinSession session;
    int32_t code;
    std::string path = session.outputPath("m.rm");
    {
      CompressionObject object;
      {
        allocation_faults::Scope failure(n);
        code = object.create(path.c_str(), hostFormat(2, 24, 48000), settingsFor(22050, 2));
      }
      if (!allocation_faults::failedOne()) {
        EXPECT_EQ(code, kOk);
        break;
      }
      EXPECT_EQ(code, kFailed) << "allocation " << n;
      if (n == 0) {
        EXPECT_EQ(object.failedStep(), 1);  // the platform object comes first
      }
    }
    if (n == 0) {
      // Neither creation nor teardown touched the engine library.
      EXPECT_EQ(session.logLineCount(), 0u);
    }
    EXPECT_EQ(StandinSession::liveObjects(), 0) << "allocation " << n;
  }
  EXPECT_GT(n, 5u);
}

// --- blocks ---------------------------------------------------------------

// Runs `input` through a fresh object and returns what the engine accepted.
std::vector<uint8_t> convertThroughEngine(StandinSession& standin, const std::vector<uint8_t>& input,
                                          const WAVEFORMATEX& format, const EncoderSettings& settings,
                                          size_t blockBytes) {
  CompressionObject object;
  EXPECT_EQ(object.create(standin.outputPath("b.rm").c_str(), format, settings), kOk);
  std::vector<int32_t> codes = feed(object, input, blockBytes);
  EXPECT_TRUE(std::all_of(codes.begin(), codes.end(), [](int32_t c) { return c == kOk; }));
  return standin.acceptedPcm();
}

TEST_F(CompressionObjectTest, StereoCodedAsMonoIsHalvedBeforeTheMixAtEveryWidth) {
  // Constant full-scale stereo at equal rates: the converter passes DC
  // unchanged, so the mono mix of the halved channels is known exactly.
  // (The filters' DC gain is 1 within 24-bit precision: a 24-bit level may
  // come out one LSB lower, which the last case allows for.)
  struct Case { int bits; int value; int expectedMono; int tolerance; };
  const Case cases[] = {
      {8, 127, 32256, 0},        // 255 -> 191 per channel, widened and summed
      {8, -128, -32768, 0},      // 0 -> 64
      {16, 32767, 32766, 0},     // 16383 + 16383; unhalved the sum would clip at 32767
      {16, -32768, -32768, 0},   // -16384 + -16384
      {24, 8388607, 32767, 0},   // 0x3FFFFF twice; unhalved Wine's 24-bit mix wraps to -2
      {24, 5242880, 20480, 1},   // 0x280000 twice; unhalved it wraps to a negative value
  };
  for (const Case& c : cases) {
    StandinSession session;
    std::vector<uint8_t> input = constantPcm(2, c.bits, 22050, c.value);
    std::vector<int> mono =
        decode16(convertThroughEngine(session, input, hostFormat(2, c.bits, 22050), settingsFor(22050, 2), 8192));
    ASSERT_GT(mono.size(), 20000u);
    // Away from the stream's edges, where the filter rings.
    for (size_t i = 5000; i < 15000; i += 97) {
      ASSERT_LE(std::abs(mono[i] - c.expectedMono), c.tolerance) << c.bits << "-bit " << c.value << ": " << mono[i];
    }
  }
}

TEST_F(CompressionObjectTest, SixteenBitWithMatchingChannelsPassesTheConverterOutputThrough) {
  for (int channels : {1, 2}) {
    StandinSession session;
    std::vector<uint8_t> input = tonePcm(channels, 16, 44100, 30000);
    std::vector<uint8_t> expected = resampleAll(input, channels, 16, 44100, 32000);
    EncoderSettings settings = settingsFor(32000, channels == 2 ? 3 : 0);
    EXPECT_EQ(convertThroughEngine(session, input, hostFormat(channels, 16, 44100), settings, 5000), expected)
        << channels;
  }
}

TEST_F(CompressionObjectTest, TheAcmPathWidensAndMixesTheConverterOutput) {
  // 8-bit mono to 16-bit stereo: each sample widened and doubled.
  std::vector<uint8_t> input = tonePcm(1, 8, 22050, 20000);
  std::vector<uint8_t> resampled = resampleAll(input, 1, 8, 22050, 16000);
  std::vector<int> expected;
  for (uint8_t v : resampled) {
    expected.push_back((int(v) - 128) * 256);
    expected.push_back((int(v) - 128) * 256);
  }
  EXPECT_EQ(decode16(convertThroughEngine(standin, input, hostFormat(1, 8, 22050), settingsFor(16000, 3), 3333)),
            expected);
}

TEST_F(CompressionObjectTest, ChunksAreWholeUntilTheEndAndTheTailWaitsInPending) {
  std::vector<uint8_t> input = tonePcm(1, 16, 44100, 44100);
  std::vector<uint8_t> all = resampleAll(input, 1, 16, 44100, 44100);
  // The first block's output: a stage block's worth.
  SampleRateConverter probe;
  PcmFormat format{1, 44100, 16};
  ASSERT_TRUE(probe.configure(format, 44100));
  uint32_t firstBytes = 40000;
  uint8_t* firstOutput = nullptr;
  ASSERT_TRUE(probe.convertBlock(input.data(), firstBytes, false, firstOutput));
  delete[] firstOutput;
  ASSERT_GT(firstBytes, 0u);

  // A chunk exactly as long as the block's output goes out without the end flag.
  {
    StandinSession session;
    session.setChunkBytes(firstBytes);
    CompressionObject object;
    ASSERT_EQ(object.create(session.outputPath("e.rm").c_str(), hostFormat(1, 16, 44100), settingsFor(44100, 0)), kOk);
    ASSERT_EQ(object.processBlock(input.data(), 40000, false), kOk);
    EXPECT_EQ(session.offeredChunks().size(), 1u);
    EXPECT_EQ(object.pendingBytes(), 0u);
  }
  // Two bytes more: nothing goes out, everything waits; the end flag sends
  // whole chunks and then the short rest.
  {
    StandinSession session;
    session.setChunkBytes(firstBytes + 2);
    CompressionObject object;
    ASSERT_EQ(object.create(session.outputPath("s.rm").c_str(), hostFormat(1, 16, 44100), settingsFor(44100, 0)), kOk);
    ASSERT_EQ(object.processBlock(input.data(), 40000, false), kOk);
    EXPECT_TRUE(session.offeredChunks().empty());
    EXPECT_EQ(object.pendingBytes(), firstBytes);
    ASSERT_EQ(object.processBlock(input.data() + 40000, uint32_t(input.size() - 40000), true), kOk);
    std::vector<OfferedChunk> chunks = session.offeredChunks();
    ASSERT_FALSE(chunks.empty());
    for (size_t i = 0; i + 1 < chunks.size(); ++i) EXPECT_EQ(chunks[i].bytes, firstBytes + 2);
    EXPECT_EQ(chunks.back().bytes, all.size() % (firstBytes + 2));
    EXPECT_EQ(object.pendingBytes(), 0u);
    EXPECT_EQ(session.acceptedPcm(), all);
  }
}

TEST_F(CompressionObjectTest, TimeStampsAreEndTimesOfTheRunningTotalWithoutDrift) {
  std::vector<uint8_t> input = tonePcm(1, 16, 44100, 44100 * 3);
  struct Case { uint32_t chunkBytes; std::vector<uint32_t> firstStamps; };
  for (const Case& c : {Case{4410, {50, 100, 150, 200}}, Case{4096, {46, 92, 139, 185}}}) {
    StandinSession session;
    session.setChunkBytes(c.chunkBytes);
    std::vector<uint8_t> accepted =
        convertThroughEngine(session, input, hostFormat(1, 16, 44100), settingsFor(44100, 0), 65536);
    std::vector<uint32_t> stamps = session.acceptedTimeStamps();
    ASSERT_GT(stamps.size(), 4u);
    EXPECT_EQ(std::vector<uint32_t>(stamps.begin(), stamps.begin() + 4), c.firstStamps);
    // The last stamp is the end time of everything, truncated once.
    EXPECT_EQ(stamps.back(), uint32_t(uint64_t(accepted.size()) * 1000 / 88200));
  }
}

TEST_F(CompressionObjectTest, TimeStampsUseTheRateFixedAtCreation) {
  standin.setChunkBytes(4410);
  EncoderSettings live = settingsFor(44100, 0);
  CompressionObject object;
  ASSERT_EQ(object.create(standin.outputPath("t.rm").c_str(), hostFormat(1, 16, 44100), live), kOk);
  live.sampleRate = 8000;  // the panel changes the rate mid-conversion
  live.audioFormat = 3;
  std::vector<uint8_t> input = tonePcm(1, 16, 44100, 44100);
  feed(object, input, 65536);
  std::vector<uint32_t> stamps = standin.acceptedTimeStamps();
  ASSERT_GT(stamps.size(), 2u);
  EXPECT_EQ(stamps[0], 50u);
  EXPECT_EQ(stamps[1], 100u);
  EXPECT_EQ(object.codedChannels(), 1);
  EXPECT_EQ(object.settings().sampleRate, 44100);
}

TEST_F(CompressionObjectTest, ARefusedChunkIsOfferedAgainInOrderByTheNextBlock) {
  std::vector<uint8_t> input = tonePcm(2, 16, 44100, 44100 * 2);
  std::vector<uint8_t> clean;
  std::vector<uint32_t> cleanStamps;
  {
    StandinSession session;
    clean = convertThroughEngine(session, input, hostFormat(2, 16, 44100), settingsFor(22050, 2), 32768);
    cleanStamps = session.acceptedTimeStamps();
  }
  StandinSession session;
  session.setFaults("InputPin.6@3=80004005");  // the third chunk offered is refused once
  CompressionObject object;
  ASSERT_EQ(object.create(session.outputPath("r.rm").c_str(), hostFormat(2, 16, 44100), settingsFor(22050, 2)), kOk);
  std::vector<int32_t> codes = feed(object, input, 32768);
  auto refused = std::find(codes.begin(), codes.end(), kFailed);
  ASSERT_NE(refused, codes.end());
  EXPECT_EQ(std::count(codes.begin(), codes.end(), kFailed), 1);
  EXPECT_EQ(session.acceptedPcm(), clean);            // nothing lost, nothing doubled
  EXPECT_EQ(session.acceptedTimeStamps(), cleanStamps);  // the refusal advanced no time
  EXPECT_EQ(session.offeredChunks().size(), cleanStamps.size() + 1);
}

TEST_F(CompressionObjectTest, AFinalBlockWithNothingNewStillSendsWhatIsPending) {
  // The engine refuses the last block's first chunk; the host tries the end
  // once more with no data. The converters have nothing more to give, the
  // pending bytes go out all the same.
  std::vector<uint8_t> input = tonePcm(1, 16, 22050, 30000);
  std::vector<uint8_t> clean;
  size_t cleanChunks = 0;
  {
    StandinSession session;
    clean = convertThroughEngine(session, input, hostFormat(1, 16, 22050), settingsFor(22050, 0), input.size());
    cleanChunks = session.offeredChunks().size();
  }
  StandinSession session;
  session.setFaults("InputPin.6@1=80004005");
  CompressionObject object;
  ASSERT_EQ(object.create(session.outputPath("p.rm").c_str(), hostFormat(1, 16, 22050), settingsFor(22050, 0)), kOk);
  EXPECT_EQ(object.processBlock(input.data(), uint32_t(input.size()), true), kFailed);
  EXPECT_EQ(object.pendingBytes(), clean.size());
  EXPECT_EQ(object.processBlock(nullptr, 0, true), kOk);
  EXPECT_EQ(object.pendingBytes(), 0u);
  EXPECT_EQ(session.acceptedPcm(), clean);
  EXPECT_EQ(session.offeredChunks().size(), cleanChunks + 1);
}

TEST_F(CompressionObjectTest, ChunksAreWholeFramesOfTheEngineFormatWhateverSizeTheEngineAsks) {
  std::vector<uint8_t> input = tonePcm(2, 16, 22050, 6000);
  for (uint32_t frame : {2u, 4u}) {
    EncoderSettings settings = settingsFor(22050, frame == 4 ? 3 : 2);
    StandinSession cleanSession;
    std::vector<uint8_t> clean = convertThroughEngine(cleanSession, input, hostFormat(2, 16, 22050), settings, 7001);
    for (uint32_t asked : {1u, 4410u, 4097u, frame + 1, 1001 * frame + 3}) {
      StandinSession session;
      session.setChunkBytes(asked);
      EXPECT_EQ(convertThroughEngine(session, input, hostFormat(2, 16, 22050), settings, 7001), clean) << asked;
      const uint32_t whole = std::max(frame, asked - asked % frame);
      uint64_t submitted = 0;
      std::vector<OfferedChunk> chunks = session.offeredChunks();
      for (size_t i = 0; i < chunks.size(); ++i) {
        submitted += chunks[i].bytes;
        ASSERT_TRUE(i + 1 == chunks.size() || chunks[i].bytes == whole) << asked << ": " << chunks[i].bytes;
        ASSERT_EQ(chunks[i].timeMs, uint32_t(submitted * 1000 / (22050 * frame))) << asked;
      }
    }
  }
}

TEST_F(CompressionObjectTest, AnEngineThatKeepsRefusingIsGivenUpOnWhileSecondsOfRefusalAreNot) {
  const uint32_t blockBytes = 22050;  // a quarter of a second
  std::vector<uint8_t> input = tonePcm(1, 16, 44100, 44100 * 20);
  std::string threeSeconds;  // the 5th to the 16th offer refused: 12 blocks in a row
  for (int call = 5; call <= 16; ++call) threeSeconds += "InputPin.6@" + std::to_string(call) + "=80004005,";
  StandinSession cleanSession;
  std::vector<uint8_t> clean = convertThroughEngine(cleanSession, input, hostFormat(1, 16, 44100), settingsFor(44100, 0), blockBytes);
  for (const std::string& faults : {threeSeconds.substr(0, threeSeconds.size() - 1), std::string("InputPin.6=80004005")}) {
    StandinSession session;
    session.setFaults(faults);
    uint32_t mostPending = 0;  // the most `pending` held after a block
    std::vector<int32_t> codes;
    {
      CompressionObject object;
      ASSERT_EQ(object.create(session.outputPath("g.rm").c_str(), hostFormat(1, 16, 44100), settingsFor(44100, 0)), kOk);
      for (size_t offset = 0; offset < input.size(); offset += blockBytes) {
        codes.push_back(object.processBlock(input.data() + offset, blockBytes, offset + blockBytes == input.size()));
        mostPending = std::max(mostPending, object.pendingBytes());
      }
    }
    const bool persistent = faults.find('@') == std::string::npos;
    EXPECT_EQ(session.acceptedPcm(), persistent ? std::vector<uint8_t>() : clean) << faults;
    EXPECT_EQ(codes.back(), persistent ? kFailed : kOk) << faults;
    // Once given up, no block is kept or offered; the file is not completed.
    EXPECT_LE(mostPending, (CompressionObject::kBacklogSeconds + 1) * 88200 + 2 * blockBytes) << faults;
    EXPECT_LT(session.offeredChunks().size(), persistent ? codes.size() / 2 : 1000) << faults;
    EXPECT_EQ(GetFileAttributesA(session.outputPath("g.rm").c_str()) != INVALID_FILE_ATTRIBUTES, !persistent);
  }
}

// The level of the `frequency` Hz tone in `channel` of 16-bit `pcm`, as a
// fraction of full scale, over the first whole second after `skip` frames.
double toneLevel(const std::vector<int>& pcm, int channels, int channel, int rate, int frequency, int skip) {
  std::complex<double> sum;
  for (int i = 0; i < rate; ++i) sum += double(pcm[size_t(i + skip) * channels + channel]) * std::polar(1.0, 2 * kPi * frequency * i / rate);
  return 2 * std::abs(sum) / rate / 32768.0;
}

TEST_F(CompressionObjectTest, MoreThanTwoChannelsAreFoldedWithTheDownmixWeights) {
  // Speaker positions of the WAVE mask bits FL FR FC LFE BL BR: their gains
  // to the left and right side before the fold is scaled against clipping.
  const double k = std::sqrt(0.5);
  const double sides[6][2] = {{1, 0}, {0, 1}, {k, k}, {0, 0}, {k, 0}, {0, k}};
  // An extensible record with mask 0 places its channels as a plain one does.
  struct Case { int channels; uint32_t mask; int audioFormat; bool extensible; };
  for (const Case& c : {Case{6, 0, 3, false}, Case{6, 0, 2, false}, Case{4, 0x0F, 3, true}, Case{3, 0, 0, false},
                        Case{6, 0, 3, true}}) {
    const int coded = c.audioFormat == 3 ? 2 : 1, amplitude = 4000, frequencies[6] = {300, 500, 700, 900, 1100, 1300};
    std::vector<uint8_t> input;
    for (int i = 0; i < 48000 * 2; ++i) {
      for (int ch = 0; ch < c.channels; ++ch) putSample(input, 16, int(amplitude * std::sin(2 * kPi * frequencies[ch] * i / 48000)));
    }
    alignas(4) uint8_t record[40] = {};
    WAVEFORMATEX& format = *reinterpret_cast<WAVEFORMATEX*>(record);
    format = hostFormat(c.channels, 16, 48000);
    if (c.extensible) {  // the extensible record with the PCM sub-format
      const uint8_t tail[22] = {16, 0, uint8_t(c.mask), 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
      format.wFormatTag = 0xFFFE, format.cbSize = 22;
      std::memcpy(record + 18, tail, sizeof tail);
    }
    // The reference: positions in mask order (plain 3 channels: FL FR FC), mono k x (left + right).
    std::vector<std::vector<double>> gains(coded, std::vector<double>(c.channels));
    std::vector<double> sums(coded);
    for (int i = 0; i < c.channels * coded; ++i) {
      const int ch = i % c.channels, out = i / c.channels;
      sums[out] += gains[out][ch] = coded == 2 ? sides[ch][out] : k * (sides[ch][0] + sides[ch][1]);
    }
    const double scale = std::max(1.0, *std::max_element(sums.begin(), sums.end()));  // nothing clips
    StandinSession session;
    std::vector<int> output = decode16(convertThroughEngine(session, input, format, settingsFor(44100, c.audioFormat), 10001));
    ASSERT_GE(output.size(), size_t(44100 * 1.5 * coded));  // the second measured
    for (int out = 0; out < coded; ++out) {
      for (int ch = 0; ch < c.channels; ++ch) {
        double expected = gains[out][ch] / scale * amplitude / 32768.0;
        EXPECT_NEAR(toneLevel(output, coded, out, 44100, frequencies[ch], 20000), expected, 0.0005)
            << c.channels << " channels, mask " << c.mask << (c.extensible ? " (extensible)" : "") << ", output " << out
            << ", input " << ch;
      }
    }
  }
}

// Records the flags of every ACM conversion.
std::vector<DWORD> conversionFlags;
MMRESULT ACMAPI recordFlags(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags) {
  conversionFlags.push_back(flags);
  return acmStreamConvert(stream, header, flags);
}

TEST_F(CompressionObjectTest, OnlyTheFirstAcmConversionStartsTheStream) {
  AcmFunctions acm = systemAcmFunctions();
  acm.convert = recordFlags;
  conversionFlags.clear();
  CompressionObject object(acm);
  ASSERT_EQ(object.create(standin.outputPath("f.rm").c_str(), hostFormat(2, 16, 22050), settingsFor(22050, 1)), kOk);
  feed(object, tonePcm(2, 16, 22050, 60000), 20000);
  ASSERT_GT(conversionFlags.size(), 2u);
  EXPECT_EQ(conversionFlags.front(), DWORD(ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_BLOCKALIGN));
  for (size_t i = 1; i + 1 < conversionFlags.size(); ++i) EXPECT_EQ(conversionFlags[i], DWORD(ACM_STREAMCONVERTF_BLOCKALIGN));
  EXPECT_EQ(conversionFlags.back(), 0u);
}

// Memory that runs out in a block, wherever it is asked for: either the
// object works around it and the file is whole, or the block's audio is gone
// and the file is given up (every later block refused, no file), never
// completed with a gap.
TEST_F(CompressionObjectTest, AllocationFailureInABlockEitherLosesNothingOrGivesTheFileUp) {
  std::vector<uint8_t> input = tonePcm(2, 24, 44100, 44100);
  std::vector<uint8_t> reference;
  {
    StandinSession session;
    reference = convertThroughEngine(session, input, hostFormat(2, 24, 44100), settingsFor(22050, 2), 40000);
  }
  for (unsigned n = 0;; ++n) {
    StandinSession session;
    int32_t code;
    std::vector<int32_t> laterCodes;
    {
      CompressionObject object;
      ASSERT_EQ(object.create(session.outputPath("o.rm").c_str(), hostFormat(2, 24, 44100), settingsFor(22050, 2)), kOk);
      ASSERT_EQ(object.processBlock(input.data(), 120000, false), kOk);
      {
        allocation_faults::Scope failure(n);
        code = object.processBlock(input.data() + 120000, 120000, false);
      }
      if (!allocation_faults::failedOne()) {
        EXPECT_EQ(code, kOk);
        ASSERT_GT(n, 3u);
        break;
      }
      laterCodes.push_back(object.processBlock(input.data() + 240000, 12000, false));
      laterCodes.push_back(object.processBlock(input.data() + 252000, uint32_t(input.size() - 252000), true));
    }
    std::vector<uint8_t> accepted = session.acceptedPcm();
    const bool whole = code == kOk;
    std::vector<uint8_t> prefix(reference.begin(), reference.begin() + std::min(accepted.size(), reference.size()));
    EXPECT_EQ(accepted, whole ? reference : prefix) << "allocation " << n;
    EXPECT_EQ(laterCodes, std::vector<int32_t>(2, whole ? kOk : kFailed)) << "allocation " << n;
    EXPECT_EQ(GetFileAttributesA(session.outputPath("o.rm").c_str()) != INVALID_FILE_ATTRIBUTES, whole) << n;
  }
}

}  // namespace
