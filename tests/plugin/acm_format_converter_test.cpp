// AcmFormatConverter on the system's msacm32 (Wine's under the test rig).
#include "plugin/acm_format_converter.h"
#include "plugin/pcm_wave_format.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "tests/plugin/allocation_faults.h"

namespace {

WAVEFORMATEX pcm(int channels, int bits, int rate = 22050) {
  return pcmWaveFormat(uint32_t(channels), uint32_t(rate), uint32_t(bits));
}

std::vector<uint8_t> encode(const std::vector<int>& samples, int bits) {
  std::vector<uint8_t> bytes;
  for (int s : samples) {
    if (bits == 8) {
      bytes.push_back(uint8_t(s + 128));
      continue;
    }
    for (int b = 0; b < bits / 8; ++b) bytes.push_back(uint8_t((s >> (8 * b)) & 0xFF));
  }
  return bytes;
}

std::vector<int> decode16(const std::vector<uint8_t>& bytes) {
  std::vector<int> samples;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) samples.push_back(int16_t(bytes[i] | bytes[i + 1] << 8));
  return samples;
}

// Converts one piece and appends the output to `all`.
void convertInto(AcmFormatConverter& converter, const uint8_t* data, uint32_t count, bool end,
                 std::vector<uint8_t>& all) {
  uint8_t* output = nullptr;
  uint32_t outputBytes = 0;
  ASSERT_TRUE(converter.convert(data, count, end, output, outputBytes));
  if (output != nullptr) all.insert(all.end(), output, output + outputBytes);
  delete[] output;
}

std::vector<uint8_t> convertWhole(const WAVEFORMATEX& from, const WAVEFORMATEX& to,
                                  const std::vector<uint8_t>& input,
                                  const AcmFunctions& acm = systemAcmFunctions()) {
  bool failed = true;
  AcmFormatConverter converter(from, to, &failed, acm);
  EXPECT_FALSE(failed);
  std::vector<uint8_t> all;
  convertInto(converter, input.data(), uint32_t(input.size()), true, all);
  return all;
}

std::vector<uint8_t> noise(size_t bytes, unsigned seed) {
  std::mt19937 generator(seed);
  std::vector<uint8_t> data(bytes);
  for (auto& b : data) b = uint8_t(generator());
  return data;
}

// A table that forwards to msacm32 and records the conversion flags.
std::vector<DWORD> recordedFlags;
std::vector<DWORD> recordedSourceLengths;
MMRESULT ACMAPI recordingConvert(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags) {
  recordedFlags.push_back(flags);
  recordedSourceLengths.push_back(header->cbSrcLength);
  return acmStreamConvert(stream, header, flags);
}
AcmFunctions recordingFunctions() {
  AcmFunctions functions = systemAcmFunctions();
  functions.convert = recordingConvert;
  recordedFlags.clear();
  recordedSourceLengths.clear();
  return functions;
}

// Stream opens that forward to msacm32, counting those that leave the
// choice of driver to ACM; and opens that always leave it to ACM, as every
// stream once did.
volatile LONG opensLeavingTheDriverToAcm = 0;
MMRESULT ACMAPI countingOpen(LPHACMSTREAM stream, HACMDRIVER driver, LPWAVEFORMATEX source,
                             LPWAVEFORMATEX destination, LPWAVEFILTER filter, DWORD_PTR callback,
                             DWORD_PTR instance, DWORD flags) {
  if (driver == nullptr) InterlockedIncrement(&opensLeavingTheDriverToAcm);
  return acmStreamOpen(stream, driver, source, destination, filter, callback, instance, flags);
}
MMRESULT ACMAPI acmChoosingOpen(LPHACMSTREAM stream, HACMDRIVER, LPWAVEFORMATEX source, LPWAVEFORMATEX destination,
                                LPWAVEFILTER filter, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  return acmStreamOpen(stream, nullptr, source, destination, filter, callback, instance, flags);
}

// Stream opens and closes that forward to msacm32, counting calls that find
// another inside. The first call of a round waits inside (up to a second) for
// a second one, so two calls that nothing keeps apart are sure to meet.
volatile LONG callsInside = 0, overlaps = 0, callsThisRound = 0;
HANDLE secondCall = CreateEventA(nullptr, TRUE, FALSE, nullptr);
template <auto real>
struct OverlapCounted {
  template <typename... Args>
  static MMRESULT ACMAPI call(Args... args) {
    if (InterlockedIncrement(&callsInside) > 1) InterlockedIncrement(&overlaps);
    if (InterlockedIncrement(&callsThisRound) == 1) WaitForSingleObject(secondCall, 1000);
    SetEvent(secondCall);
    const MMRESULT result = real(args...);
    InterlockedDecrement(&callsInside);
    return result;
  }
};
const AcmFunctions overlapCountingFunctions = [] {
  AcmFunctions functions = systemAcmFunctions();
  functions.open = OverlapCounted<acmStreamOpen>::call;
  functions.close = OverlapCounted<acmStreamClose>::call;
  return functions;
}();

// Closes the converter in the slot, or opens one there.
DWORD WINAPI openOrClose(LPVOID slot) {
  auto& converter = *static_cast<std::unique_ptr<AcmFormatConverter>*>(slot);
  bool failed = false;
  converter.reset(converter ? nullptr : new AcmFormatConverter(pcm(1, 8), pcm(2, 16), &failed, overlapCountingFunctions));
  return 0;
}

TEST(AcmFormatConverterThreads, NoTwoStreamOpensOrClosesEverOverlap) {
  for (int closes = 0; closes <= 2; ++closes) {  // two opens, an open and a close, two closes
    std::unique_ptr<AcmFormatConverter> slots[2];
    callsThisRound = 2;  // nobody waits while the converters to close are made
    for (int i = 0; i < closes; ++i) openOrClose(&slots[i]);
    callsThisRound = overlaps = 0;
    ResetEvent(secondCall);
    HANDLE threads[2];
    for (int i = 0; i < 2; ++i) threads[i] = CreateThread(nullptr, 0, openOrClose, &slots[i], 0, nullptr);
    WaitForMultipleObjects(2, threads, TRUE, INFINITE);
    EXPECT_EQ(overlaps, 0) << closes << " closes";
  }
}

// Left to choose a driver, ACM tries every one it has (tens of
// milliseconds, codecs loaded and freed, per stream). Once it has chosen,
// later streams of any pair name that driver, and convert byte for byte as
// streams ACM chose the driver for.
TEST(AcmFormatConverterDriver, OnlyTheFirstStreamLeavesTheDriverToAcmAndAllConvertAlike) {
  AcmFunctions counting = systemAcmFunctions(), acmChoosing = systemAcmFunctions();
  counting.open = countingOpen;
  acmChoosing.open = acmChoosingOpen;
  std::mt19937 generator(7);
  std::unique_ptr<AcmFormatConverter> previous;  // open while the next one opens
  for (int i = 0; i < 24; ++i) {
    const int rates[] = {8000, 22050, 44100, 48000}, widths[] = {8, 16, 24};
    const int rate = rates[generator() % 4], fromBits = widths[generator() % 3], fromChannels = 1 + generator() % 2;
    const int toChannels = fromBits == 16 ? 3 - fromChannels : 1 + generator() % 2;  // never a mere copy
    const WAVEFORMATEX from = pcm(fromChannels, fromBits, rate), to = pcm(toChannels, 16, rate);
    const std::vector<uint8_t> input = noise(from.nBlockAlign * (1 + generator() % 4000), unsigned(i));
    bool failed = true;
    auto converter = std::make_unique<AcmFormatConverter>(from, to, &failed, counting);
    ASSERT_FALSE(failed);
    std::vector<uint8_t> out;
    convertInto(*converter, input.data(), uint32_t(input.size()), true, out);
    EXPECT_EQ(out, convertWhole(from, to, input, acmChoosing)) << fromChannels << "ch " << fromBits << "-bit to "
                                                               << toChannels << "ch at " << rate << " Hz";
    previous = std::move(converter);
  }
  EXPECT_LE(opensLeavingTheDriverToAcm, 1);
  // Only PCM pairs go to the remembered driver, which may take any tag for PCM.
  WAVEFORMATEX unknown = pcm(2, 16);
  unknown.wFormatTag = 0x7A7A;
  bool failed = false;
  AcmFormatConverter refused(unknown, pcm(1, 16), &failed, counting);
  EXPECT_TRUE(failed);
}

TEST(AcmFormatConverterPassThrough, CopiesByteForByteWhenOnlyAlignmentFieldsDiffer) {
  WAVEFORMATEX from = pcm(2, 16), to = pcm(2, 16);
  to.nBlockAlign = 7;
  to.nAvgBytesPerSec = 12345;
  to.cbSize = 4;
  bool failed = true;
  AcmFormatConverter converter(from, to, &failed);
  EXPECT_FALSE(failed);
  EXPECT_TRUE(converter.isPassThrough());
  std::vector<uint8_t> input = noise(1001, 1);  // not even whole frames: nothing is held back
  for (bool end : {false, true}) {
    std::vector<uint8_t> all;
    convertInto(converter, input.data(), uint32_t(input.size()), end, all);
    EXPECT_EQ(all, input);
  }
  EXPECT_EQ(converter.carriedBytes(), 0u);
}

TEST(AcmFormatConverterStream, WidensEightBitAndDuplicatesMonoIntoStereo) {
  std::vector<int> out = decode16(convertWhole(pcm(1, 8), pcm(2, 16), encode({-128, 0, 127, -1}, 8)));
  EXPECT_EQ(out, (std::vector<int>{-32768, -32768, 0, 0, 32512, 32512, -256, -256}));
}

TEST(AcmFormatConverterStream, NarrowsTwentyFourBitToItsTopSixteenBits) {
  std::vector<int> out =
      decode16(convertWhole(pcm(1, 24), pcm(1, 16), encode({8388607, -8388608, 0x1234FF, -0x1234FF}, 24)));
  EXPECT_EQ(out, (std::vector<int>{32767, -32768, 0x1234, -0x1235}));
}

TEST(AcmFormatConverterStream, MixesHalvedStereoIntoMonoWithoutOverflow) {
  // The pipeline halves stereo before the mix; full-scale halves must stay in range.
  std::vector<int> out = decode16(convertWhole(pcm(2, 16), pcm(1, 16), encode({16383, 16383, -16384, -16384, 100, -100}, 16)));
  EXPECT_EQ(out, (std::vector<int>{32766, -32768, 0}));
}

TEST(AcmFormatConverterStream, OutputDoesNotDependOnHowTheInputIsSplit) {
  struct Case { int fromChannels, fromBits, toChannels; };
  for (Case c : {Case{2, 24, 1}, Case{1, 24, 2}, Case{2, 8, 1}, Case{1, 16, 2}, Case{2, 16, 1}}) {
    WAVEFORMATEX from = pcm(c.fromChannels, c.fromBits), to = pcm(c.toChannels, 16);
    uint32_t frame = from.nBlockAlign;
    std::vector<uint8_t> input = noise(frame * 5000, 2);
    std::vector<uint8_t> whole = convertWhole(from, to, input);
    ASSERT_EQ(whole.size(), input.size() / frame * to.nBlockAlign);

    bool failed = true;
    AcmFormatConverter converter(from, to, &failed);
    ASSERT_FALSE(failed);
    std::mt19937 generator(c.fromBits * 10 + c.fromChannels);
    std::vector<uint8_t> pieces;
    size_t offset = 0;
    while (offset < input.size()) {
      uint32_t count = std::min<uint32_t>(1 + generator() % 3000, uint32_t(input.size() - offset));
      bool end = offset + count == input.size();
      convertInto(converter, input.data() + offset, count, end, pieces);
      offset += count;
      // Only a partial frame may wait: whole frames never pile up in the carry.
      ASSERT_LT(converter.carriedBytes(), frame) << c.fromChannels << "ch " << c.fromBits << "-bit";
    }
    EXPECT_EQ(pieces, whole) << c.fromChannels << "ch " << c.fromBits << "-bit";
  }
}

TEST(AcmFormatConverterStream, CarriesAPartialFrameToTheFrontOfTheNextCall) {
  WAVEFORMATEX from = pcm(2, 24), to = pcm(1, 16);
  std::vector<uint8_t> input = encode({0x010000, 0x020000, 0x030000, 0x040000}, 24);  // two frames
  bool failed = true;
  AcmFormatConverter converter(from, to, &failed);
  std::vector<uint8_t> out;
  convertInto(converter, input.data(), 4, false, out);  // less than a frame
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(converter.carriedBytes(), 4u);
  convertInto(converter, input.data() + 4, 5, false, out);  // completes frame one, starts two
  EXPECT_EQ(decode16(out), (std::vector<int>{0x0300}));
  EXPECT_EQ(converter.carriedBytes(), 3u);
  convertInto(converter, input.data() + 9, 3, true, out);
  EXPECT_EQ(decode16(out), (std::vector<int>{0x0300, 0x0700}));
  EXPECT_EQ(converter.carriedBytes(), 0u);
}

TEST(AcmFormatConverterStream, StartsTheStreamOnTheFirstConversionOnlyAndAlignsUntilTheEnd) {
  AcmFunctions functions = recordingFunctions();
  bool failed = true;
  AcmFormatConverter converter(pcm(2, 16), pcm(1, 16), &failed, functions);
  ASSERT_FALSE(failed);
  std::vector<uint8_t> input = noise(72, 3), out;
  convertInto(converter, input.data(), 3, false, out);   // under a frame: no conversion yet
  EXPECT_TRUE(recordedFlags.empty());
  convertInto(converter, input.data() + 3, 20, false, out);
  convertInto(converter, input.data() + 23, 10, false, out);
  convertInto(converter, input.data() + 33, 39, true, out);
  ASSERT_EQ(recordedFlags.size(), 3u);
  EXPECT_EQ(recordedFlags[0], DWORD(ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_BLOCKALIGN));
  EXPECT_EQ(recordedFlags[1], DWORD(ACM_STREAMCONVERTF_BLOCKALIGN));
  EXPECT_EQ(recordedFlags[2], 0u);
  // The carried bytes lead each conversion: 3 + 20, then 3 + 10, then 1 + 39.
  EXPECT_EQ(recordedSourceLengths, (std::vector<DWORD>{23, 13, 40}));
  EXPECT_EQ(out.size(), 36u);
}

TEST(AcmFormatConverterStream, ReportsFormatsNoStreamCanJoin) {
  WAVEFORMATEX unknown = pcm(2, 16);
  unknown.wFormatTag = 0x7A7A;
  bool failed = false;
  AcmFormatConverter converter(unknown, pcm(1, 16), &failed);
  EXPECT_TRUE(failed);
  // Used anyway, it copies.
  std::vector<uint8_t> input = noise(8, 4), out;
  convertInto(converter, input.data(), 8, true, out);
  EXPECT_EQ(out, input);
}

TEST(AcmFormatConverterMemory, AFailedAllocationTakesNothingAndLosesNothing) {
  WAVEFORMATEX from = pcm(2, 24), to = pcm(1, 16);
  std::vector<uint8_t> input = noise(6 * 700 + 5, 5);
  std::vector<uint8_t> expected = convertWhole(from, to, input);
  for (unsigned n = 0;; ++n) {
    bool failed = true;
    AcmFormatConverter converter(from, to, &failed);
    ASSERT_FALSE(failed);
    std::vector<uint8_t> out;
    convertInto(converter, input.data(), 1000, false, out);  // leaves a partial frame carried
    uint32_t carriedBefore = converter.carriedBytes();
    uint8_t* output = nullptr;
    uint32_t outputBytes = 0;
    bool ok;
    {
      allocation_faults::Scope failure(n);
      ok = converter.convert(input.data() + 1000, 3000, false, output, outputBytes);
    }
    if (!allocation_faults::failedOne()) {
      ASSERT_TRUE(ok);
      delete[] output;
      ASSERT_GE(n, 2u);  // destination, joined buffer and leftover at least
      break;
    }
    EXPECT_FALSE(ok) << "allocation " << n;
    EXPECT_EQ(output, nullptr);
    EXPECT_EQ(converter.carriedBytes(), carriedBefore);
    // The same bytes offered again convert as if nothing had happened.
    convertInto(converter, input.data() + 1000, uint32_t(input.size() - 1000), true, out);
    EXPECT_EQ(out, expected) << "allocation " << n;
  }
}

}  // namespace
