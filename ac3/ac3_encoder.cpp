#include "ac3/ac3_encoder.h"

#include <algorithm>
#include <cstring>

#include "ac3/ac3_frame_coder.h"
#include "ac3/ac3_mdct.h"
#include "ac3/ac3_tables.h"

namespace {

using ac3::kBlocksPerFrame;
using ac3::kCoefsPerBlock;
using ac3::kMaxChannels;

struct RateInfo {
  int fscod;
  int shift;  // bsid - 8: halves or quarters the nominal rate
};

bool rateInfoOf(uint32_t sampleRate, RateInfo& info) {
  for (int shift = 0; shift <= 2; ++shift) {
    for (int fscod = 0; fscod < 3; ++fscod) {
      if (ac3::kSampleRateOfFscod[fscod] >> shift == sampleRate) {
        info = RateInfo{fscod, shift};
        return true;
      }
    }
  }
  return false;
}

// The frame size code of a bit rate, or -1. At 44.1 kHz the even code (the
// smaller size) is taken every frame, so all frames have the same size and a
// container can cut the stream without parsing it.
int frameSizeCodeOf(const RateInfo& rate, uint32_t bitRate) {
  for (int i = 0; i < ac3::kFrameSizeCodes / 2; ++i) {
    if ((ac3::kBitRateKbps[i] * 1000u) >> rate.shift == bitRate) return 2 * i;
  }
  return -1;
}

// Bandwidth for the bits each channel gets per sample: a starved channel
// spends its bits on the low frequencies, where most of the signal lies.
int bandwidthCodeOf(uint32_t bitRate, uint32_t sampleRate, int channels) {
  const double bitsPerSample = static_cast<double>(bitRate) / (static_cast<double>(sampleRate) * channels);
  const int endCoef = static_cast<int>(15.0 + 75.0 * bitsPerSample);
  return std::min(60, std::max(0, (endCoef - 73 + 1) / 3));
}

}  // namespace

const char* ac3ConfigRefusal(const Ac3Config& config) {
  RateInfo rate{};
  if (!rateInfoOf(config.sampleRate, rate)) return "AC-3 cannot code this sample rate";
  if (config.channels != 1 && config.channels != 2) return "AC-3 coding here takes one or two channels";
  if (frameSizeCodeOf(rate, config.bitRate) < 0) return "bit rate is not one AC-3 allows at this sample rate";
  return nullptr;
}

uint32_t ac3BitRateAtMost(uint32_t sampleRate, uint32_t budget) {
  RateInfo rate{};
  if (!rateInfoOf(sampleRate, rate)) return 0;
  uint32_t best = (ac3::kBitRateKbps[0] * 1000u) >> rate.shift;
  for (int i = 0; i < ac3::kFrameSizeCodes / 2; ++i) {
    const uint32_t bitRate = (ac3::kBitRateKbps[i] * 1000u) >> rate.shift;
    if (bitRate <= budget) best = bitRate;
  }
  return best;
}

uint32_t ac3FrameBytes(const Ac3Config& config) {
  if (ac3ConfigRefusal(config) != nullptr) return 0;
  RateInfo rate{};
  rateInfoOf(config.sampleRate, rate);
  return 2 * ac3::frameWords(rate.fscod, frameSizeCodeOf(rate, config.bitRate));
}

struct Ac3Encoder::State {
  State(const ac3::FrameLayout& layout, int shift, int bandwidthCode) : coder(layout, shift, bandwidthCode) {}

  ac3::FrameCoder coder;
  ac3::Mdct mdct;
  int channels = 0;
  uint32_t frameBytes = 0;
  // The last 256 samples of each channel: the first half of the next window.
  float history[kMaxChannels][kCoefsPerBlock] = {};
  float pending[kMaxChannels][kAc3SamplesPerFrame] = {};
  uint32_t pendingCount = 0;
  uint64_t samplesTaken = 0;
  uint64_t framesCoded = 0;
  bool open = true;
  float coefs[kMaxChannels][kBlocksPerFrame][kCoefsPerBlock];

  void codeFrame(std::vector<uint8_t>& out);
};

void Ac3Encoder::State::codeFrame(std::vector<uint8_t>& out) {
  for (int ch = 0; ch < channels; ++ch) {
    float window[2 * kCoefsPerBlock];
    for (int b = 0; b < kBlocksPerFrame; ++b) {
      std::memcpy(window, history[ch], sizeof history[ch]);
      std::memcpy(window + kCoefsPerBlock, pending[ch] + b * kCoefsPerBlock, sizeof history[ch]);
      mdct.transform(window, coefs[ch][b]);
      std::memcpy(history[ch], window + kCoefsPerBlock, sizeof history[ch]);
    }
  }
  const size_t start = out.size();
  out.resize(start + frameBytes);
  coder.code(coefs, out.data() + start);
  pendingCount = 0;
  ++framesCoded;
}

Ac3Encoder::Ac3Encoder() = default;
Ac3Encoder::~Ac3Encoder() = default;

const char* Ac3Encoder::configure(const Ac3Config& config) {
  state_.reset();
  if (const char* refusal = ac3ConfigRefusal(config)) return refusal;
  RateInfo rate{};
  rateInfoOf(config.sampleRate, rate);
  ac3::FrameLayout layout;
  layout.fscod = rate.fscod;
  layout.frmsizecod = frameSizeCodeOf(rate, config.bitRate);
  layout.bsid = 8 + rate.shift;
  layout.channels = config.channels;
  layout.frameBytes = ac3FrameBytes(config);
  const int bandwidthCode = bandwidthCodeOf(config.bitRate, config.sampleRate, config.channels);
  state_.reset(new State(layout, rate.shift, bandwidthCode));
  state_->channels = config.channels;
  state_->frameBytes = static_cast<uint32_t>(layout.frameBytes);
  return nullptr;
}

void Ac3Encoder::encode(const int16_t* pcm, size_t frames, std::vector<uint8_t>& out) {
  if (!state_ || !state_->open) return;
  State& s = *state_;
  const float scale = 1.0f / 32768.0f;
  while (frames > 0) {
    const size_t take = std::min<size_t>(frames, kAc3SamplesPerFrame - s.pendingCount);
    for (size_t i = 0; i < take; ++i) {
      for (int ch = 0; ch < s.channels; ++ch) s.pending[ch][s.pendingCount + i] = pcm[i * s.channels + ch] * scale;
    }
    pcm += take * s.channels;
    frames -= take;
    s.pendingCount += static_cast<uint32_t>(take);
    s.samplesTaken += take;
    if (s.pendingCount == kAc3SamplesPerFrame) s.codeFrame(out);
  }
}

void Ac3Encoder::flush(std::vector<uint8_t>& out) {
  if (!state_ || !state_->open) return;
  State& s = *state_;
  s.open = false;
  if (s.samplesTaken == 0) return;
  // Enough frames to play every sample taken behind the 256-sample delay.
  const uint64_t needed = (s.samplesTaken + kAc3DelaySamples + kAc3SamplesPerFrame - 1) / kAc3SamplesPerFrame;
  while (s.framesCoded < needed) {
    for (int ch = 0; ch < s.channels; ++ch) {
      std::fill(s.pending[ch] + s.pendingCount, s.pending[ch] + kAc3SamplesPerFrame, 0.0f);
    }
    s.codeFrame(out);
  }
}

uint32_t Ac3Encoder::frameBytes() const { return state_ ? state_->frameBytes : 0; }

uint64_t Ac3Encoder::framesCoded() const { return state_ ? state_->framesCoded : 0; }
