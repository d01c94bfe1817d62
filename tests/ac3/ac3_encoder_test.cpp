// Properties of the AC-3 encoder, judged by libavcodec's decoder: over
// random signals, lengths, block sizes, rates, channel counts and bit rates,
// every frame has the announced size, passes both CRCs and decodes without
// error to the right rate and channel count, and the frames cover the input
// behind the 256-sample delay. A tone must come back close to itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ac3/ac3_encoder.h"
#include "tests/ac3/ac3_decoding.h"

namespace {

const uint32_t kRates[] = {48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
const uint32_t kBudgets[] = {20000, 32000, 45000, 80000, 150000, 225000, 350000, 450000};

enum class Shape { Silence, Dc, Square, Clicks, Noise, Tone, Sweep, Count };

std::vector<int16_t> makeSignal(Shape shape, size_t frames, int channels, uint32_t rate, std::mt19937& random) {
  std::vector<int16_t> pcm(frames * channels);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  const int level = std::uniform_int_distribution<int>(1, 32767)(random);
  const double frequency = std::uniform_real_distribution<double>(20.0, rate / 2.0)(random);
  const int period = std::uniform_int_distribution<int>(2, 400)(random);
  const double pi = 3.14159265358979323846;
  for (size_t i = 0; i < frames; ++i) {
    for (int ch = 0; ch < channels; ++ch) {
      int16_t& out = pcm[i * channels + ch];
      const double t = static_cast<double>(i) / rate;
      switch (shape) {
        case Shape::Silence: out = 0; break;
        case Shape::Dc: out = static_cast<int16_t>(ch == 0 ? -32768 : 32767); break;
        case Shape::Square: out = static_cast<int16_t>((i / period) % 2 ? 32767 : -32768); break;
        case Shape::Clicks: out = static_cast<int16_t>(random() % 997 == 0 ? (random() % 2 ? 32767 : -32768) : 0); break;
        case Shape::Noise: out = static_cast<int16_t>(sample(random)); break;
        case Shape::Tone: out = static_cast<int16_t>(level * std::sin(2 * pi * frequency * t + ch)); break;
        default: out = static_cast<int16_t>(level * std::sin(pi * frequency * t * t * rate / (frames + 1.0))); break;
      }
    }
  }
  return pcm;
}

// Feeds `pcm` in random-size blocks, then flushes.
std::vector<uint8_t> encodeInBlocks(Ac3Encoder& encoder, const std::vector<int16_t>& pcm, int channels,
                                    std::mt19937& random) {
  std::vector<uint8_t> out;
  const size_t frames = pcm.size() / channels;
  for (size_t done = 0; done < frames;) {
    const size_t block = std::min<size_t>(frames - done, std::uniform_int_distribution<size_t>(1, 3000)(random));
    encoder.encode(pcm.data() + done * channels, block, out);
    done += block;
    EXPECT_EQ(encoder.framesCoded(), done / kAc3SamplesPerFrame);
  }
  encoder.flush(out);
  return out;
}

struct Decoded {
  std::vector<float> samples;
  bool ok = true;
};

Decoded decodeAll(const std::vector<uint8_t>& stream, const Ac3Config& config, uint32_t frameBytes) {
  Decoded decoded;
  Ac3TestDecoder decoder;
  for (size_t offset = 0; offset + frameBytes <= stream.size(); offset += frameBytes) {
    std::string error;
    const uint8_t* frame = stream.data() + offset;
    const bool decodes = decoder.decodeFrame(frame, frameBytes, decoded.samples, error);
    EXPECT_TRUE(decodes) << "frame " << offset / frameBytes << ": " << error;
    EXPECT_TRUE(ac3FirstCrcHolds(frame, frameBytes)) << "frame " << offset / frameBytes;
    EXPECT_EQ(decoder.sampleRate(), static_cast<int>(config.sampleRate));
    EXPECT_EQ(decoder.channels(), config.channels);
    decoded.ok = decoded.ok && decodes;
  }
  return decoded;
}

size_t randomLength(std::mt19937& random) {
  const size_t edges[] = {0, 1, 1535, 1536, 1537};
  const size_t pick = random() % 8;
  return pick < 5 ? edges[pick] : std::uniform_int_distribution<size_t>(2, 4 * kAc3SamplesPerFrame)(random);
}

TEST(Ac3Encoder, EveryFrameDecodesAndCoversTheInput) {
  std::mt19937 random(20240611);
  for (uint32_t rate : kRates) {
    for (int channels = 1; channels <= 2; ++channels) {
      for (int trial = 0; trial < 3 * 8; ++trial) {
        const uint32_t budget = kBudgets[trial % 8];
        Ac3Config config;
        config.sampleRate = rate;
        config.channels = static_cast<uint16_t>(channels);
        config.bitRate = ac3BitRateAtMost(rate, budget);
        SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(channels) + " ch, " +
                     std::to_string(config.bitRate) + " b/s");
        Ac3Encoder encoder;
        ASSERT_EQ(encoder.configure(config), nullptr);
        ASSERT_EQ(encoder.frameBytes(), ac3FrameBytes(config));
        const size_t length = randomLength(random);
        const auto shape = static_cast<Shape>(random() % static_cast<unsigned>(Shape::Count));
        SCOPED_TRACE("shape " + std::to_string(static_cast<int>(shape)) + ", " + std::to_string(length) + " samples");
        const std::vector<int16_t> pcm = makeSignal(shape, length, channels, rate, random);
        const std::vector<uint8_t> stream = encodeInBlocks(encoder, pcm, channels, random);

        const uint64_t expectedFrames = length == 0 ? 0 : (length + kAc3DelaySamples + kAc3SamplesPerFrame - 1) / kAc3SamplesPerFrame;
        ASSERT_EQ(encoder.framesCoded(), expectedFrames);
        ASSERT_EQ(stream.size(), expectedFrames * encoder.frameBytes());
        const Decoded decoded = decodeAll(stream, config, encoder.frameBytes());
        ASSERT_TRUE(decoded.ok);
        const size_t decodedFrames = decoded.samples.size() / channels;
        EXPECT_EQ(decodedFrames, expectedFrames * kAc3SamplesPerFrame);
        if (length > 0) {
          EXPECT_GE(decodedFrames, length + kAc3DelaySamples);
          EXPECT_LT(decodedFrames, length + kAc3DelaySamples + kAc3SamplesPerFrame);
        }
      }
    }
  }
}

TEST(Ac3Encoder, ToneComesBackAboveTheNoise) {
  std::mt19937 random(7);
  for (uint32_t rate : kRates) {
    for (int channels = 1; channels <= 2; ++channels) {
      Ac3Config config;
      config.sampleRate = rate;
      config.channels = static_cast<uint16_t>(channels);
      config.bitRate = ac3BitRateAtMost(rate, 96000 * channels);
      Ac3Encoder encoder;
      ASSERT_EQ(encoder.configure(config), nullptr);
      const size_t length = 3 * kAc3SamplesPerFrame + random() % kAc3SamplesPerFrame;
      std::vector<int16_t> pcm(length * channels);
      const double frequency = std::uniform_real_distribution<double>(100.0, rate / 6.0)(random);
      for (size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<int16_t>(16000 * std::sin(2 * 3.14159265358979 * frequency * (i / channels) / rate));
      }
      const std::vector<uint8_t> stream = encodeInBlocks(encoder, pcm, channels, random);
      const Decoded decoded = decodeAll(stream, config, encoder.frameBytes());
      ASSERT_TRUE(decoded.ok);
      double signal = 0, noise = 0;
      for (size_t i = 0; i < pcm.size(); ++i) {
        const double in = pcm[i] / 32768.0, out = decoded.samples[i + kAc3DelaySamples * channels];
        signal += in * in;
        noise += (in - out) * (in - out);
      }
      EXPECT_GT(10 * std::log10(signal / noise), 20.0) << rate << " Hz, " << channels << " ch, " << frequency << " Hz";
    }
  }
}

TEST(Ac3Encoder, BitRatesOfferedAreAcceptedAndOthersRefused) {
  std::mt19937 random(3);
  for (uint32_t rate : kRates) {
    for (int i = 0; i < 50; ++i) {
      const uint32_t budget = random() % 800000;
      const uint32_t bitRate = ac3BitRateAtMost(rate, budget);
      Ac3Config config;
      config.sampleRate = rate;
      config.bitRate = bitRate;
      EXPECT_EQ(ac3ConfigRefusal(config), nullptr) << rate << " " << bitRate;
      EXPECT_TRUE(bitRate <= budget || bitRate == ac3BitRateAtMost(rate, 0));
      EXPECT_LE(ac3BitRateAtMost(rate, bitRate + 1), bitRate + 1);
      config.bitRate = bitRate + 1;
      EXPECT_NE(ac3ConfigRefusal(config), nullptr);
      EXPECT_EQ(ac3FrameBytes(config), 0u);
    }
  }
  EXPECT_EQ(ac3BitRateAtMost(44000, 128000), 0u);
}

}  // namespace
