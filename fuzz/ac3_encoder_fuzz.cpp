// Fuzz target of the AC-3 encoder that the stand-in engine's dnet files use.
//
// The first bytes choose the sample rate, the channel count, the bit rate
// and the sizes of the blocks handed to encode(); the rest is 16-bit PCM.
// Every frame must have frameBytes() bytes, pass both CRCs and decode in
// libavcodec with CRC checks on and no error, at the configured rate and
// channel count; the frames must cover the input behind the delay.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ac3/ac3_encoder.h"
#include "tests/ac3/ac3_decoding.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail = std::string()) {
  std::fprintf(stderr, "AC-3 encoder property broken: %s %s\n", what, detail.c_str());
  std::abort();
}

const uint32_t kRates[] = {48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
constexpr size_t kHeaderBytes = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeaderBytes) return 0;
  Ac3Config config;
  config.sampleRate = kRates[data[0] % 9];
  config.channels = static_cast<uint16_t>(1 + (data[1] & 1));
  // Budgets from below the lowest rate to above the highest.
  config.bitRate = ac3BitRateAtMost(config.sampleRate, static_cast<uint32_t>(data[2]) * 2600u);
  uint32_t blockSeed = data[3] | 1u;
  data += kHeaderBytes;
  size -= kHeaderBytes;

  Ac3Encoder encoder;
  if (const char* refusal = encoder.configure(config)) fail("configuration refused:", refusal);
  const size_t frames = size / (2 * config.channels);
  std::vector<int16_t> pcm(frames * config.channels);
  if (!pcm.empty()) std::memcpy(pcm.data(), data, pcm.size() * sizeof(int16_t));

  std::vector<uint8_t> stream;
  for (size_t done = 0; done < frames;) {
    blockSeed = blockSeed * 1103515245u + 12345u;
    const size_t block = std::min<size_t>(frames - done, 1 + (blockSeed >> 16) % 2000);
    encoder.encode(pcm.data() + done * config.channels, block, stream);
    done += block;
  }
  encoder.flush(stream);

  const uint64_t expected = frames == 0 ? 0 : (frames + kAc3DelaySamples + kAc3SamplesPerFrame - 1) / kAc3SamplesPerFrame;
  const uint32_t frameBytes = encoder.frameBytes();
  if (encoder.framesCoded() != expected) fail("frame count");
  if (stream.size() != expected * frameBytes) fail("stream size");
  Ac3TestDecoder decoder;
  std::vector<float> decoded;
  for (size_t offset = 0; offset < stream.size(); offset += frameBytes) {
    std::string error;
    if (!decoder.decodeFrame(stream.data() + offset, frameBytes, decoded, error)) fail("frame refused:", error);
    if (!ac3FirstCrcHolds(stream.data() + offset, frameBytes)) fail("crc1");
    if (decoder.sampleRate() != static_cast<int>(config.sampleRate) || decoder.channels() != config.channels) {
      fail("decoded format");
    }
  }
  if (decoded.size() != expected * kAc3SamplesPerFrame * config.channels) fail("decoded length");
  return 0;
}
