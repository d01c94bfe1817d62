#include "wavfile/wav_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <random>

#include "tests/wavfile/wav_image.h"

namespace {

std::vector<uint8_t> ramp(size_t count) {
  std::vector<uint8_t> v(count);
  std::iota(v.begin(), v.end(), uint8_t(1));
  return v;
}

// Opens the image and returns the refusal text ("" if accepted).
std::string refusal(const WavImage& image) {
  WavReader reader;
  if (reader.openMemory(image.bytes.data(), image.bytes.size())) return "";
  EXPECT_FALSE(reader.error().empty());
  EXPECT_EQ(reader.error().find('\n'), std::string::npos) << "reason must be one line";
  return reader.error();
}

std::vector<uint8_t> readAll(WavReader& reader, uint32_t pieceBytes) {
  std::vector<uint8_t> all, piece(pieceBytes);
  uint32_t got = 0;
  while (reader.read(piece.data(), pieceBytes, got) && got > 0) all.insert(all.end(), piece.begin(), piece.begin() + got);
  return all;
}

TEST(WavReaderAccepts, PlainPcmOfEachWidthWithItsFormat) {
  for (uint32_t bits : {8u, 16u, 24u}) {
    WavImage image = validWav(3, 22050, bits, ramp(3 * bits / 8 * 5));
    WavReader reader;
    ASSERT_TRUE(reader.openMemory(image.bytes.data(), image.bytes.size())) << reader.error();
    EXPECT_EQ(reader.format().channels, 3);
    EXPECT_EQ(reader.format().sampleRate, 22050);
    EXPECT_EQ(reader.format().bitsPerSample, int(bits));
    EXPECT_EQ(reader.frameCount(), 5u);
    EXPECT_EQ(readAll(reader, 4096), ramp(3 * bits / 8 * 5));
  }
}

TEST(WavReaderAccepts, ExtensibleWithPcmSubformat) {
  WavImage image;
  image.riffHeader(0);
  image.extensibleFmt(2, 48000, 24, 1, 20);
  image.chunk("data", ramp(12));
  image.fixRiffSize();
  WavReader reader;
  ASSERT_TRUE(reader.openMemory(image.bytes.data(), image.bytes.size())) << reader.error();
  EXPECT_EQ(reader.format().bitsPerSample, 24);
  EXPECT_EQ(reader.frameCount(), 2u);
}

TEST(WavReaderAccepts, SkipsOtherChunksIncludingOddPaddedOnes) {
  WavImage image;
  image.riffHeader(0);
  image.chunk("LIST", ramp(5));  // odd: followed by a pad byte
  image.plainFmt(1, 8000, 16, 2);
  image.chunk("junk", ramp(2));
  image.chunk("data", ramp(6));
  image.chunk("id3 ", ramp(3));
  image.fixRiffSize();
  WavReader reader;
  ASSERT_TRUE(reader.openMemory(image.bytes.data(), image.bytes.size())) << reader.error();
  EXPECT_EQ(readAll(reader, 4), ramp(6));
}

TEST(WavReaderAccepts, DataBeforeFmt) {
  WavImage image;
  image.riffHeader(0);
  image.chunk("data", ramp(4));
  image.plainFmt(2, 8000, 8, 2);
  image.fixRiffSize();
  WavReader reader;
  ASSERT_TRUE(reader.openMemory(image.bytes.data(), image.bytes.size())) << reader.error();
  EXPECT_EQ(readAll(reader, 100), ramp(4));
}

TEST(WavReaderStreams, DeliversWholeFramesInPiecesAndDropsAPartialLastFrame) {
  // 16-bit stereo: 4-byte frames; 4 frames plus 3 stray bytes.
  WavImage image = validWav(2, 44100, 16, ramp(19));
  WavReader reader;
  ASSERT_TRUE(reader.openMemory(image.bytes.data(), image.bytes.size()));
  EXPECT_EQ(reader.dataBytes(), 16u);
  std::vector<uint8_t> piece(7);
  uint32_t got = 0;
  ASSERT_TRUE(reader.read(piece.data(), 7, got));
  EXPECT_EQ(got, 4u);  // 7 rounded down to a whole frame
  ASSERT_TRUE(reader.read(piece.data(), 3, got));
  EXPECT_EQ(got, 0u);  // less than a frame asked: nothing
  std::vector<uint8_t> rest = readAll(reader, 8);
  EXPECT_EQ(rest.size(), 12u);
  EXPECT_EQ(rest.front(), 5);
  ASSERT_TRUE(reader.read(piece.data(), 7, got));
  EXPECT_EQ(got, 0u);
}

// A stream whose sizes are placeholders (a writer to a pipe) is read as it
// comes: in pieces of any size, with atEnd() asked between them as srconv
// does, it delivers what the same bytes give as a file, a partial last frame
// dropped, in every encoding (decoded ones in pieces above the decoder's).
TEST(WavReaderStreams, APipedStreamDeliversWhatTheFileDoes) {
  std::mt19937 random(41);
  const uint32_t encodings[][2] = {{1, 8}, {1, 16}, {1, 24}, {1, 32}, {3, 32}, {3, 64}, {7, 8}};  // tag, bits
  std::vector<uint8_t> piece(1 << 18);
  for (int round = 0; round < 56; ++round) {
    const uint32_t tag = encodings[round % 7][0], bits = encodings[round % 7][1];
    const uint32_t channels = 1 + random() % 4, frameBytes = channels * bits / 8;
    std::vector<uint8_t> audio(frameBytes * (random() % 30000) + random() % frameBytes);
    for (uint8_t& b : audio) b = uint8_t(random());
    WavImage image;
    const uint32_t placeholder = round % 2 ? 0 : 0xFFFFFFFF;
    image.riffHeader(placeholder);
    image.plainFmt(channels, 8000, bits, frameBytes, tag);
    image.dataHeader(placeholder);
    image.bytes.insert(image.bytes.end(), audio.begin(), audio.end());
    SCOPED_TRACE(std::to_string(round));
    WavReader file, stream;
    ASSERT_TRUE(file.openMemory(image.bytes.data(), image.bytes.size())) << file.error();
    ASSERT_TRUE(stream.openStream(fmemopen(image.bytes.data(), image.bytes.size(), "rb"), true)) << stream.error();
    const uint32_t deliveredFrameBytes = uint32_t(stream.format().frameBytes());
    std::vector<uint8_t> fromStream;
    for (uint32_t got = 1; got > 0;) {
      const uint32_t wanted = deliveredFrameBytes + random() % (random() % 2 ? 100 : piece.size() - 9);
      ASSERT_TRUE(stream.read(piece.data(), wanted, got)) << stream.error();
      fromStream.insert(fromStream.end(), piece.begin(), piece.begin() + got);
      if (round % 3 != 0) stream.atEnd();
    }
    EXPECT_TRUE(stream.atEnd());
    EXPECT_TRUE(fromStream == readAll(file, 4096));
    EXPECT_EQ(stream.dataBytes(), file.dataBytes());
    EXPECT_EQ(stream.repairs().clipped + stream.repairs().silenced, file.repairs().clipped + file.repairs().silenced);
  }
}

TEST(WavReaderRefuses, EmptyOrTooShortFile) {
  WavImage empty;
  EXPECT_NE(refusal(empty).find("empty"), std::string::npos);
  WavImage shortHeader;
  shortHeader.tag("RIFF");
  shortHeader.u32(4);
  EXPECT_NE(refusal(shortHeader).find("too short"), std::string::npos);
}

TEST(WavReaderRefuses, MissingRiffOrWaveTag) {
  WavImage notRiff = validWav(1, 8000, 8, ramp(4));
  notRiff.bytes[0] = 'X';
  EXPECT_NE(refusal(notRiff).find("not a RIFF"), std::string::npos);
  WavImage notWave = validWav(1, 8000, 8, ramp(4));
  notWave.bytes[8] = 'A';
  notWave.bytes[9] = 'V';
  EXPECT_NE(refusal(notWave).find("not 'WAVE'"), std::string::npos);
}

TEST(WavReaderRefuses, MissingFmtOrDataChunk) {
  WavImage noFmt;
  noFmt.riffHeader(0);
  noFmt.chunk("data", ramp(4));
  noFmt.fixRiffSize();
  EXPECT_EQ(refusal(noFmt), "no fmt chunk");
  WavImage noData;
  noData.riffHeader(0);
  noData.plainFmt(1, 8000, 8, 1);
  noData.fixRiffSize();
  EXPECT_EQ(refusal(noData), "no data chunk");
}

TEST(WavReaderRefuses, RepeatedFmtOrDataChunk) {
  WavImage twoFmt;
  twoFmt.riffHeader(0);
  twoFmt.plainFmt(1, 8000, 8, 1);
  twoFmt.plainFmt(1, 8000, 8, 1);
  twoFmt.chunk("data", ramp(4));
  twoFmt.fixRiffSize();
  EXPECT_NE(refusal(twoFmt).find("more than one fmt"), std::string::npos);
  WavImage twoData;
  twoData.riffHeader(0);
  twoData.chunk("data", ramp(4));
  twoData.chunk("data", ramp(4));
  twoData.plainFmt(1, 8000, 8, 1);
  twoData.fixRiffSize();
  EXPECT_NE(refusal(twoData).find("more than one data"), std::string::npos);
}

TEST(WavReaderRefuses, FmtChunkTooShort) {
  WavImage image;
  image.riffHeader(0);
  image.chunk("fmt ", {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0});  // 14 bytes: no width
  image.chunk("data", ramp(4));
  image.fixRiffSize();
  EXPECT_NE(refusal(image).find("fmt chunk too short"), std::string::npos);
}

TEST(WavReaderRefuses, EncodingsItCannotDecode) {
  WavImage floatData;
  floatData.riffHeader(0);
  floatData.plainFmt(1, 8000, 16, 2, 3);
  floatData.chunk("data", ramp(8));
  floatData.fixRiffSize();
  EXPECT_NE(refusal(floatData).find("16-bit floating point is not supported"), std::string::npos);
  WavImage adpcm;
  adpcm.riffHeader(0);
  adpcm.plainFmt(1, 8000, 16, 2, 2);
  adpcm.chunk("data", ramp(8));
  adpcm.fixRiffSize();
  EXPECT_NE(refusal(adpcm).find("format tag 2"), std::string::npos);
}

TEST(WavReaderRefuses, ExtensibleWithNonPcmSubformatOrBadExtension) {
  WavImage floatSub;
  floatSub.riffHeader(0);
  floatSub.extensibleFmt(2, 48000, 24, 2, 24);
  floatSub.chunk("data", ramp(12));
  floatSub.fixRiffSize();
  EXPECT_NE(refusal(floatSub).find("sub-format"), std::string::npos);

  WavImage wrongGuid = floatSub;
  wrongGuid.bytes[12 + 8 + 24] = 1;  // PCM code but a foreign GUID tail
  wrongGuid.bytes[12 + 8 + 30] ^= 0xFF;
  EXPECT_NE(refusal(wrongGuid).find("sub-format"), std::string::npos);

  WavImage shortExtension;
  shortExtension.riffHeader(0);
  shortExtension.extensibleFmt(2, 48000, 24, 1, 24);
  shortExtension.bytes[12 + 8 + 16] = 10;  // cbSize 10 < 22
  shortExtension.chunk("data", ramp(12));
  shortExtension.fixRiffSize();
  EXPECT_NE(refusal(shortExtension).find("extension too short"), std::string::npos);

  WavImage tooManyValidBits;
  tooManyValidBits.riffHeader(0);
  tooManyValidBits.extensibleFmt(2, 48000, 16, 1, 24);
  tooManyValidBits.chunk("data", ramp(12));
  tooManyValidBits.fixRiffSize();
  EXPECT_NE(refusal(tooManyValidBits).find("valid bits"), std::string::npos);

  WavImage plainSizedExtensible;  // tag 0xFFFE in a 16-byte fmt chunk
  plainSizedExtensible.riffHeader(0);
  plainSizedExtensible.plainFmt(2, 48000, 16, 4, 0xFFFE);
  plainSizedExtensible.chunk("data", ramp(12));
  plainSizedExtensible.fixRiffSize();
  EXPECT_NE(refusal(plainSizedExtensible).find("extensible fmt chunk too short"), std::string::npos);
}

TEST(WavReaderRefuses, ZeroChannelsOrZeroRate) {
  WavImage noChannels;
  noChannels.riffHeader(0);
  noChannels.plainFmt(0, 8000, 16, 0);
  noChannels.chunk("data", ramp(4));
  noChannels.fixRiffSize();
  EXPECT_EQ(refusal(noChannels), "0 channels");
  EXPECT_EQ(refusal(validWav(1, 0, 16, ramp(4))), "sample rate 0");
  EXPECT_NE(refusal(validWav(1, 0x80000000u, 16, ramp(4))).find("out of range"), std::string::npos);
}

TEST(WavReaderRefuses, PcmWidthsOtherThan8_16_24_32) {
  for (uint32_t bits : {0u, 4u, 12u, 20u, 64u}) {
    WavImage image;
    image.riffHeader(0);
    image.plainFmt(1, 8000, bits, 2);
    image.chunk("data", ramp(4));
    image.fixRiffSize();
    EXPECT_NE(refusal(image).find("-bit samples are not supported"), std::string::npos) << bits;
  }
}

TEST(WavReaderRefuses, BlockAlignmentDisagreeingWithChannelsAndWidth) {
  WavImage image;
  image.riffHeader(0);
  image.plainFmt(2, 8000, 16, 2);  // 2 channels x 16 bits need 4
  image.chunk("data", ramp(8));
  image.fixRiffSize();
  EXPECT_NE(refusal(image).find("block alignment 2"), std::string::npos);
  // 30000 channels of 24 bits cannot be described by a 16-bit block alignment.
  WavImage wide;
  wide.riffHeader(0);
  wide.plainFmt(30000, 8000, 24, uint32_t(90000 & 0xFFFF));
  wide.chunk("data", ramp(8));
  wide.fixRiffSize();
  EXPECT_NE(refusal(wide).find("block alignment"), std::string::npos);
}

TEST(WavReaderRefuses, DataSizeBeyondTheEndOfTheFile) {
  WavImage image;
  image.riffHeader(0);
  image.plainFmt(1, 8000, 16, 2);
  image.dataHeader(1000);
  image.bytes.resize(image.bytes.size() + 10);
  image.fixRiffSize();  // the RIFF size tells the truth, the data size does not
  EXPECT_NE(refusal(image).find("'data' chunk of 1000 bytes runs past the end of the file"), std::string::npos);

  WavImage streaming = image;  // sizes a writer to a pipe leaves: the data runs to the end
  for (int i = 0; i < 8; ++i) streaming.bytes[i < 4 ? 4 + i : 36 + i] = 0;
  WavReader reader;
  ASSERT_TRUE(reader.openMemory(streaming.bytes.data(), streaming.bytes.size())) << reader.error();
  EXPECT_EQ(reader.dataBytes(), 10u);
  EXPECT_TRUE(reader.streamed());
}

TEST(WavReaderRefuses, RiffSizeLying) {
  WavImage tooLarge = validWav(1, 8000, 16, ramp(8));
  tooLarge.bytes[4] += 2;
  EXPECT_NE(refusal(tooLarge).find("RIFF size"), std::string::npos);

  WavImage tooSmall = validWav(1, 8000, 16, ramp(8));  // data ends past the RIFF end
  tooSmall.bytes[4] -= 4;
  EXPECT_NE(refusal(tooSmall).find("past the end of the RIFF form"), std::string::npos);

  WavImage noForm = validWav(1, 8000, 16, ramp(8));
  for (int i = 0; i < 4; ++i) noForm.bytes[4 + i] = i == 0 ? 3 : 0;
  EXPECT_NE(refusal(noForm).find("RIFF size 3"), std::string::npos);
}

TEST(WavReaderRefuses, EveryTruncationOfAValidFile) {
  WavImage image = validWav(2, 44100, 16, ramp(40));
  for (size_t length = 0; length < image.bytes.size(); ++length) {
    WavImage cut;
    cut.bytes.assign(image.bytes.begin(), image.bytes.begin() + length);
    EXPECT_NE(refusal(cut), "") << "accepted a file cut to " << length << " bytes";
  }
}

TEST(WavReaderRefuses, UnreadableOrMissingPath) {
  WavReader reader;
  EXPECT_FALSE(reader.open("/nonexistent/dir/file.wav"));
  EXPECT_NE(reader.error().find("cannot open"), std::string::npos);
}

TEST(WavReaderRefuses, KeepsNoStateFromAnEarlierFile) {
  WavImage good = validWav(1, 8000, 16, ramp(8));
  WavImage bad = validWav(1, 8000, 12, ramp(8));
  WavReader reader;
  ASSERT_TRUE(reader.openMemory(good.bytes.data(), good.bytes.size()));
  ASSERT_FALSE(reader.openMemory(bad.bytes.data(), bad.bytes.size()));
  uint8_t buffer[8];
  uint32_t got = 1;
  EXPECT_TRUE(reader.read(buffer, 8, got));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(reader.format().channels, 0);
}

// Any chunks may surround fmt and data; only a second data chunk is refused,
// named with its place; damage after the data spares the audio.
TEST(WavReaderRefuses, ASecondDataChunkWhereverItLies) {
  std::mt19937 random(5);
  for (int round = 0; round < 200; ++round) {
    WavImage image;
    image.riffHeader(0);
    const bool dataFirst = random() % 2 != 0, second = random() % 2 != 0;
    std::vector<uint8_t> first = ramp(2 * (1 + random() % 9));
    if (random() % 2) image.chunk("LIST", ramp(random() % 40));  // odd sizes padded
    if (!dataFirst) image.plainFmt(1, 8000, 16, 2);
    image.chunk("data", first);
    const size_t secondAt = image.bytes.size();
    if (second) image.chunk("data", ramp(2 + random() % 9));
    if (dataFirst) image.plainFmt(1, 8000, 16, 2);
    if (random() % 2) image.tag("id3 "), image.u32(1000);  // a damaged tag that runs past the form
    image.fixRiffSize();
    if (second) {
      EXPECT_EQ(refusal(image), "more than one data chunk (a second one at byte " + std::to_string(secondAt) + ")");
      continue;
    }
    WavReader reader;
    ASSERT_TRUE(reader.openMemory(image.bytes.data(), image.bytes.size())) << reader.error();
    EXPECT_EQ(readAll(reader, 6), first);
  }
}

TEST(WavReaderRefuses, NamesAMissingPadByteAndAForeignSubformat) {
  WavImage unpadded;
  unpadded.riffHeader(0);
  unpadded.chunk("LIST", ramp(5));
  unpadded.bytes.pop_back();  // the writer left the pad byte out
  unpadded.plainFmt(1, 8000, 16, 2);
  unpadded.chunk("data", ramp(4));
  unpadded.fixRiffSize();
  EXPECT_EQ(refusal(unpadded), "the chunk before byte 26 has an odd size but no pad byte after it, so 'fmt ' starts "
                               "a byte early (the file's writer left the pad out)");

  WavImage foreign;
  foreign.riffHeader(0);
  foreign.extensibleFmt(2, 48000, 16, 1, 16);
  foreign.bytes[12 + 8 + 30] ^= 0xFF;  // PCM's code, another GUID
  foreign.chunk("data", ramp(8));
  foreign.fixRiffSize();
  EXPECT_EQ(refusal(foreign), "unsupported encoding (extensible sub-format {00000001-0000-00EF-8000-00AA00389B71}, "
                             "which is no WAVE format tag; PCM, floating point, A-law and µ-law are read)");
}

// Float beyond +-1.0 (infinities too) is clipped to full scale, NaN made
// silent, and each is counted and said apart.
TEST(WavReaderDecodes, NanBecomesSilenceAndIsSaidApartFromClipping) {
  const float values[] = {NAN, INFINITY, -3.0f, -NAN, 1.0f, 0.25f, NAN};
  const int32_t expected[] = {0, 8388607, -8388608, 0, 8388607, 2097152, 0};
  std::vector<uint8_t> data(sizeof values);
  std::memcpy(data.data(), values, sizeof values);  // little-endian, as the file stores it
  WavImage image = validWav(1, 8000, 32, data);
  image.bytes[20] = 3;  // IEEE float
  WavReader reader;
  ASSERT_TRUE(reader.openMemory(image.bytes.data(), image.bytes.size())) << reader.error();
  std::vector<uint8_t> pcm = readAll(reader, 300);
  ASSERT_EQ(pcm.size(), 3 * sizeof expected / sizeof expected[0]);
  for (size_t i = 0; i < pcm.size() / 3; ++i)
    EXPECT_EQ(int32_t(uint32_t(pcm[3 * i] | pcm[3 * i + 1] << 8 | pcm[3 * i + 2] << 16) << 8) >> 8, expected[i]) << i;
  EXPECT_EQ(reader.repairsDescription(),
            "2 floating-point samples beyond full scale clipped to it, 3 NaN samples (no number at all) made silent (0)");
}

// Writers that never fill in the data size leave it 0 in a form whose size
// is true. Audio after such a header runs to the end of the form, as after a
// streamed one, and the reader says so once; a data chunk with only chunks
// after it is truly empty. The same holds for a file and for a stream.
TEST(WavReaderAccepts, AudioAfterADataSizeOfZeroRunsToTheEndOfTheForm) {
  std::mt19937 random(31);
  for (int round = 0; round < 200; ++round) {
    const uint32_t channels = 1 + random() % 6, bits = 8 * (1 + random() % 3);
    const bool empty = round % 4 == 0, fromStream = round % 3 == 0;
    std::vector<uint8_t> audio(channels * bits / 8 * (1 + random() % 300));
    for (uint8_t& b : audio) b = uint8_t(random());
    WavImage image;
    image.riffHeader(0);
    if (random() % 2) image.chunk("LIST", ramp(random() % 20));
    image.plainFmt(channels, 8000, bits, channels * bits / 8);
    image.dataHeader(0);
    if (empty) {
      image.chunk("LIST", ramp(1 + random() % 30));
      image.chunk("id3 ", ramp(random() % 30));
    } else {
      image.bytes.insert(image.bytes.end(), audio.begin(), audio.end());
    }
    image.fixRiffSize();
    if (random() % 2) image.chunk("junk", ramp(random() % 9));  // after the form: not audio
    SCOPED_TRACE(std::to_string(round));
    WavReader reader;
    std::FILE* stream = fmemopen(image.bytes.data(), image.bytes.size(), "rb");
    const bool opened = fromStream ? reader.openStream(stream, false)
                                   : reader.openMemory(image.bytes.data(), image.bytes.size());
    ASSERT_TRUE(opened) << reader.error();
    EXPECT_EQ(readAll(reader, channels * bits / 8 * (1 + random() % 50)), empty ? std::vector<uint8_t>() : audio);
    EXPECT_EQ(reader.repairsDescription().find("data chunk's size is 0") != std::string::npos, !empty)
        << reader.repairsDescription();
    std::fclose(stream);
  }
}

}  // namespace
