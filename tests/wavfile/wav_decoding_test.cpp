// Real files as ffmpeg and sox write them, to a pipe (size placeholders) and
// to a seekable file, in every container and encoding the reader takes: the
// reader must deliver the PCM a plain reference makes of the source.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "wavfile/wav_reader.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string scratch(const std::string& name) {
  return std::string(::testing::TempDir()) + "wav_decoding_" + std::to_string(getpid()) + "_" + name;
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Reads the file in random pieces, as a file or front to back as from a pipe.
Bytes readAll(const std::string& path, WavReader& reader, std::mt19937& random, bool asStream = false) {
  const bool opened = asStream ? reader.openStream(std::fopen(path.c_str(), "rb"), true) : reader.open(path.c_str());
  EXPECT_TRUE(opened) << path << ": " << reader.error();
  Bytes all, buffer(80000);
  uint32_t got = 0;
  do {
    uint32_t piece = uint32_t(reader.format().frameBytes()) + uint32_t(random() % (random() % 2 ? 7000 : 70000));
    EXPECT_TRUE(reader.read(buffer.data(), piece, got)) << reader.error();
    all.insert(all.end(), buffer.begin(), buffer.begin() + got);
  } while (got > 0);
  EXPECT_EQ(all.size(), reader.dataBytes());
  return all;
}

void put(Bytes& out, int64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

// A source in one raw format and what the reader must make of it.
struct Source {
  std::string ffmpegFormat, soxFormat;  // the raw format for each tool
  int bits = 0;                         // of the delivered PCM
  Bytes raw, expected;
  uint64_t clipped = 0;
};

Source makeSource(const std::string& kind, size_t samples, std::mt19937& random) {
  Source s;
  s.ffmpegFormat = kind + "le";
  s.soxFormat = std::string(kind[0] == 'f' ? "-e floating-point" : "-e signed") + " -b " + kind.substr(1);
  s.bits = kind == "s16" ? 16 : 24;
  for (size_t i = 0; i < samples; ++i) {
    int64_t v = int32_t(random());
    if (kind == "s16") put(s.raw, v >> 16, 2), put(s.expected, v >> 16, 2);
    if (kind == "s24") put(s.raw, v >> 8, 3), put(s.expected, v >> 8, 3);
    if (kind == "s32") put(s.raw, v, 4), put(s.expected, std::min<int64_t>((v + 128) >> 8, 8388607), 3);
    if (kind == "f32") {  // up to +-1.5: beyond +-1.0 clipped to full scale
      float x = float(v) / 1.4e9f;
      uint32_t word;
      std::memcpy(&word, &x, 4);
      put(s.raw, word, 4);
      s.clipped += std::fabs(x) > 1.0f;
      put(s.expected, std::max(-8388608L, std::min(8388607L, std::lrint(double(x) * 8388608.0))), 3);
    }
  }
  return s;
}

TEST(WavReaderDecodes, WhatFfmpegAndSoxWriteToPipesAndFiles) {
  std::mt19937 random(12);
  const std::string sourcePath = scratch("source.raw"), filePath = scratch("file"), lawRaw = scratch("law.raw");
  // {source kind, writer; IN/OUT stand for the paths, "| cat >" makes a pipe}
  const std::vector<std::pair<std::string, std::string>> writers = {
      {"s16", "ffmpeg -f FMT -ar 44100 -ac CH -i IN -f wav - | cat > OUT"},
      {"s16", "ffmpeg -f FMT -ar 44100 -ac CH -i IN -rf64 always -f wav - | cat > OUT"},
      {"s16", "ffmpeg -f FMT -ar 44100 -ac CH -i IN -rf64 always -f wav OUT"},
      {"s24", "ffmpeg -f FMT -ar 44100 -ac CH -i IN -c:a pcm_s24le -f w64 - | cat > OUT"},
      {"s24", "ffmpeg -f FMT -ar 44100 -ac CH -i IN -c:a pcm_s24le -f w64 OUT"},
      {"s24", "ffmpeg -f FMT -ar 44100 -ac CH -i IN -c:a pcm_f64le -f wav - | cat > OUT"},
      {"s16", "sox -t raw -r 8000 SOX -c CH IN -t wav - | cat > OUT"},
      {"s32", "sox -t raw -r 8000 SOX -c CH IN -t wav - | cat > OUT"},
      {"s24", "sox -t raw -r 8000 SOX -c CH IN -e floating-point -b 64 -t wav OUT"},
      {"f32", "ffmpeg -f FMT -ar 44100 -ac CH -i IN -c:a pcm_f32le -f wav - | cat > OUT"},
      {"s24", "sox -t raw -r 8000 SOX -c CH IN -e floating-point -b 32 -t wav - | cat > OUT"},
      {"s16", "ffmpeg -f FMT -ar 8000 -ac CH -i IN -c:a pcm_alaw -f wav - | cat > OUT"},
      {"s16", "ffmpeg -f FMT -ar 8000 -ac CH -i IN -c:a pcm_mulaw -f wav OUT"},
      {"s16", "sox -t raw -r 8000 SOX -c CH IN -e a-law -t wav - | cat > OUT"},
      {"s16", "sox -t raw -r 8000 SOX -c CH IN -e mu-law -t wav - | cat > OUT"},
  };
  for (const auto& writer : writers) {
    const int channels = 1 + int(random() % 3);
    Source source = makeSource(writer.first, size_t(channels) * (1 + random() % 20000), random);
    writeFile(sourcePath, source.raw);
    std::string command = writer.second;
    const std::pair<std::string, std::string> fields[] = {{"FMT", source.ffmpegFormat}, {"SOX", source.soxFormat},
                                                          {"CH", std::to_string(channels)}, {"IN", sourcePath},
                                                          {"OUT", filePath}};
    for (const auto& field : fields)
      for (size_t at; (at = command.find(field.first)) != std::string::npos;)
        command.replace(at, field.first.size(), field.second);
    command.insert(command.find(' '), command[0] == 'f' ? " -v error -y" : " -V1");
    SCOPED_TRACE(command);
    ASSERT_EQ(std::system(("bash -c 'set -o pipefail; " + command + "'").c_str()), 0);
    const bool law = command.find("law") != std::string::npos;
    if (law) {  // ffmpeg's own expansion is the reference
      ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + filePath + " -f s16le " + lawRaw).c_str()), 0);
      source.expected = readFile(lawRaw);
    }
    WavReader reader;
    Bytes delivered = readAll(filePath, reader, random);
    EXPECT_EQ(reader.format().channels, channels);
    EXPECT_EQ(reader.format().bitsPerSample, law ? 16 : source.bits);
    EXPECT_EQ(reader.repairs().clipped, source.clipped);
    EXPECT_TRUE(delivered == source.expected) << delivered.size() << " bytes, " << source.expected.size() << " expected";
    WavReader streamReader;
    EXPECT_TRUE(readAll(filePath, streamReader, random, true) == source.expected) << "read as a stream";
    EXPECT_EQ(streamReader.repairs().clipped, source.clipped);
  }
  for (const std::string& path : {sourcePath, filePath, lawRaw}) std::remove(path.c_str());
}

TEST(WavReaderFails, WhenTheFileShrinksWhileBeingRead) {
  const std::string path = scratch("shrinking.wav");
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i sine=duration=1 -c:a pcm_f32le -f wav " + path).c_str()), 0);
  WavReader reader;
  ASSERT_TRUE(reader.open(path.c_str())) << reader.error();
  Bytes buffer(3000);
  uint32_t got = 0;
  ASSERT_TRUE(reader.read(buffer.data(), 3000, got));
  ASSERT_EQ(truncate(path.c_str(), 5000), 0);
  while (reader.read(buffer.data(), 3000, got) && got > 0) {
  }
  EXPECT_TRUE(reader.failed());
  EXPECT_EQ(reader.error().rfind("read error: the file shrank", 0), 0u) << reader.error();
  EXPECT_FALSE(reader.read(buffer.data(), 3000, got)) << "a failed reader stays failed";
  std::remove(path.c_str());
}

}  // namespace
