// Encodes a WAVE file to a raw AC-3 stream (sync frames back to back, as
// `ffmpeg -f ac3 -i OUT.ac3` reads it) and says how long the encoding took.
//
// usage: ac3_encode_wav IN.wav OUT.ac3 --bit-rate BPS [--repeat N]
//
// The whole file is read into memory first, so the time covers configure,
// encode and flush only (thread CPU time: the encoder runs on this thread
// alone). With --repeat N the same PCM is encoded N times and the best time
// is reported; the file written is the last run's stream, identical to the
// others. One line goes to standard output:
//
//   frames F bytes B audio_seconds S cpu_seconds C realtime X
//
// 8- and 24-bit input is converted to 16 bits (24-bit rounded), since the
// encoder takes 16-bit PCM only.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "ac3/ac3_encoder.h"
#include "wavfile/wav_reader.h"

namespace {

double threadCpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

int usage() {
  std::fprintf(stderr, "usage: ac3_encode_wav IN.wav OUT.ac3 --bit-rate BPS [--repeat N]\n");
  return 2;
}

// A positive integer, with an optional k (x1000) so "192k" reads like ffmpeg's -b:a.
bool parseCount(const char* text, uint64_t& value) {
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(text, &end, 10);
  if (end == text || errno != 0 || text[0] == '-') return false;
  if (*end == 'k' || *end == 'K') {
    v *= 1000;
    ++end;
  }
  if (*end != '\0' || v == 0) return false;
  value = v;
  return true;
}

// The reader's 8-bit samples are unsigned, 24-bit ones signed little-endian.
void appendAs16(const uint8_t* bytes, size_t samples, int bits, std::vector<int16_t>& pcm) {
  if (bits == 16) {
    for (size_t i = 0; i < samples; ++i)
      pcm.push_back(int16_t(uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8))));
  } else if (bits == 8) {
    for (size_t i = 0; i < samples; ++i) pcm.push_back(int16_t((int(bytes[i]) - 128) * 256));
  } else {
    for (size_t i = 0; i < samples; ++i) {
      const uint8_t* b = bytes + 3 * i;
      int32_t v = int32_t(uint32_t(b[0]) << 8 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 24) >> 8;
      pcm.push_back(int16_t(std::min<int32_t>((v + 128) >> 8, 32767)));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* inPath = nullptr;
  const char* outPath = nullptr;
  uint64_t bitRate = 0;
  uint64_t repeats = 1;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "--bit-rate" || arg == "--repeat") && i + 1 < argc) {
      uint64_t& target = arg == "--bit-rate" ? bitRate : repeats;
      if (!parseCount(argv[++i], target)) {
        std::fprintf(stderr, "ac3_encode_wav: %s needs a positive whole number, not '%s'\n", arg.c_str(), argv[i]);
        return 2;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usage();
    } else if (!inPath) {
      inPath = argv[i];
    } else if (!outPath) {
      outPath = argv[i];
    } else {
      return usage();
    }
  }
  if (!inPath || !outPath || bitRate == 0) return usage();

  WavReader reader;
  if (!reader.open(inPath)) {
    std::fprintf(stderr, "ac3_encode_wav: %s: %s\n", inPath, reader.error().c_str());
    return 1;
  }
  const WavFormat format = reader.format();
  if (bitRate > UINT32_MAX) bitRate = UINT32_MAX;  // refused below with the allowed rate named
  Ac3Config config;
  config.sampleRate = uint32_t(format.sampleRate);
  config.channels = uint16_t(std::min(format.channels, 65535));
  config.bitRate = uint32_t(bitRate);
  if (const char* why = ac3ConfigRefusal(config)) {
    std::fprintf(stderr, "ac3_encode_wav: %s (%d Hz, %d channels, %llu bit/s) cannot be coded: %s\n", inPath,
                 format.sampleRate, format.channels, (unsigned long long)bitRate, why);
    uint32_t allowed = ac3BitRateAtMost(config.sampleRate, config.bitRate);
    if (allowed != 0 && allowed != config.bitRate)
      std::fprintf(stderr, "ac3_encode_wav: the nearest bit rate allowed at %d Hz is %u\n", format.sampleRate,
                   allowed);
    return 1;
  }
  if (format.bitsPerSample != 16)
    std::fprintf(stderr, "ac3_encode_wav: %d-bit input converted to 16 bits\n", format.bitsPerSample);

  std::vector<int16_t> pcm;
  if (reader.lengthKnown()) pcm.reserve(size_t(reader.frameCount()) * size_t(format.channels));
  std::vector<uint8_t> block(size_t(format.frameBytes()) * 16384);
  const size_t sampleBytes = size_t(format.bitsPerSample / 8);
  for (;;) {
    uint32_t got = 0;
    if (!reader.read(block.data(), uint32_t(block.size()), got)) {
      std::fprintf(stderr, "ac3_encode_wav: %s: %s\n", inPath, reader.error().c_str());
      return 1;
    }
    if (got == 0) break;
    appendAs16(block.data(), got / sampleBytes, format.bitsPerSample, pcm);
  }
  const size_t frames = pcm.size() / size_t(format.channels);

  // Pieces that do not line up with the 1536-sample frames, as a host
  // delivers them, so the encoder's own buffering is part of what is timed.
  constexpr size_t kPieceFrames = 4096;
  std::vector<uint8_t> stream;
  double best = 0;
  uint64_t framesCoded = 0;
  for (uint64_t run = 0; run < repeats; ++run) {
    stream.clear();  // keeps its capacity: only the first run pays for growing it
    Ac3Encoder encoder;
    const double start = threadCpuSeconds();
    if (const char* why = encoder.configure(config)) {
      std::fprintf(stderr, "ac3_encode_wav: configure refused: %s\n", why);
      return 1;
    }
    for (size_t at = 0; at < frames; at += kPieceFrames) {
      size_t n = std::min(kPieceFrames, frames - at);
      encoder.encode(pcm.data() + at * size_t(format.channels), n, stream);
    }
    encoder.flush(stream);
    const double seconds = threadCpuSeconds() - start;
    if (run == 0 || seconds < best) best = seconds;
    framesCoded = encoder.framesCoded();
  }

  std::FILE* out = std::fopen(outPath, "wb");
  if (!out) {
    std::fprintf(stderr, "ac3_encode_wav: cannot create %s: %s\n", outPath, std::strerror(errno));
    return 1;
  }
  bool written = std::fwrite(stream.data(), 1, stream.size(), out) == stream.size();
  written = std::fclose(out) == 0 && written;
  if (!written) {
    std::fprintf(stderr, "ac3_encode_wav: cannot write %s\n", outPath);
    std::remove(outPath);
    return 1;
  }

  const double audioSeconds = double(frames) / double(format.sampleRate);
  std::printf("frames %llu bytes %zu audio_seconds %.3f cpu_seconds %.6f realtime %.1f\n",
              (unsigned long long)framesCoded, stream.size(), audioSeconds, best,
              best > 0 ? audioSeconds / best : 0.0);
  return 0;
}
