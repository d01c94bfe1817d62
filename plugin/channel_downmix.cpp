#include "plugin/channel_downmix.h"

#include <cstring>
#include <new>

#include "resample/pcm_codec.h"
#include "windows/speaker_layout.h"

namespace {

const double kMinus3dB = 0.70710678118654752;  // 1/sqrt(2)

struct SideGains {
  double left;
  double right;
};

// Gains of the 18 WAVE speaker positions, indexed by mask bit.
const SideGains kPositionGains[] = {
    {1, 0},                  // front left
    {0, 1},                  // front right
    {kMinus3dB, kMinus3dB},  // front centre
    {0, 0},                  // low frequency
    {kMinus3dB, 0},          // back left
    {0, kMinus3dB},          // back right
    {1, 0},                  // front left of centre
    {0, 1},                  // front right of centre
    {kMinus3dB, kMinus3dB},  // back centre
    {kMinus3dB, 0},          // side left
    {0, kMinus3dB},          // side right
    {kMinus3dB, kMinus3dB},  // top centre
    {kMinus3dB, 0},          // top front left
    {kMinus3dB, kMinus3dB},  // top front centre
    {0, kMinus3dB},          // top front right
    {kMinus3dB, 0},          // top back left
    {kMinus3dB, kMinus3dB},  // top back centre
    {0, kMinus3dB},          // top back right
};
const uint32_t kKnownPositions = sizeof kPositionGains / sizeof kPositionGains[0];
// plughost refuses more channels than this before the plug-in sees them.
static_assert(kKnownPositions == uint32_t(kNamedSpeakerPositions), "a gain for every position WAVE names");
const SideGains kUnpositioned = {kMinus3dB, kMinus3dB};

// The next set bit of `mask` at or above `bit`; 32 when there is none.
uint32_t nextPosition(uint32_t mask, uint32_t bit) {
  while (bit < 32 && (mask & (1u << bit)) == 0) ++bit;
  return bit;
}

SideGains gainsOf(uint32_t position) {
  return position < kKnownPositions ? kPositionGains[position] : kUnpositioned;
}

}  // namespace

ChannelDownmix::~ChannelDownmix() {
  delete[] weights;
  delete[] frameSamples;
  delete[] partialFrame;
}

bool ChannelDownmix::configure(uint32_t inChannels, uint32_t channelMask, uint32_t outChannels,
                               uint32_t bitsPerSample) {
  // More channels than WAVE names positions for have no expected sound in
  // stereo or mono: such inputs are refused.
  if (inChannels <= 2 || inChannels > kKnownPositions || (outChannels != 1 && outChannels != 2)) return false;
  if (bitsPerSample != 8 && bitsPerSample != 16 && bitsPerSample != 24) return false;
  inputChannels = inChannels;
  outputChannels = outChannels;
  sampleBytes = bitsPerSample / 8;
  weights = new (std::nothrow) double[outputChannels * inputChannels];
  frameSamples = new (std::nothrow) double[inputChannels];
  partialFrame = new (std::nothrow) uint8_t[inputChannels * sampleBytes];
  if (weights == nullptr || frameSamples == nullptr || partialFrame == nullptr) return false;
  setWeights(channelMask);
  normaliseWeights();
  return true;
}

void ChannelDownmix::setWeights(uint32_t channelMask) {
  uint32_t position = nextPosition(channelMask, 0);
  for (uint32_t channel = 0; channel < inputChannels; ++channel) {
    SideGains gains = gainsOf(position);
    if (outputChannels == 2) {
      weights[channel] = gains.left;
      weights[inputChannels + channel] = gains.right;
    } else {
      weights[channel] = kMinus3dB * (gains.left + gains.right);
    }
    if (position < 32) position = nextPosition(channelMask, position + 1);
  }
}

void ChannelDownmix::normaliseWeights() {
  double largestSum = 1;
  for (uint32_t out = 0; out < outputChannels; ++out) {
    double sum = 0;
    for (uint32_t in = 0; in < inputChannels; ++in) sum += weights[out * inputChannels + in];
    if (sum > largestSum) largestSum = sum;
  }
  for (uint32_t i = 0; i < outputChannels * inputChannels; ++i) weights[i] /= largestSum;
}

void ChannelDownmix::foldFrame(const uint8_t* frame, uint8_t* folded) {
  double sums[2] = {0, 0};
  pcm::decodeSamples(frame, int(sampleBytes), inputChannels, frameSamples);
  for (uint32_t out = 0; out < outputChannels; ++out) {
    const double* row = weights + out * inputChannels;
    for (uint32_t in = 0; in < inputChannels; ++in) sums[out] += row[in] * frameSamples[in];
  }
  pcm::encodeSamples(sums, int(sampleBytes), outputChannels, folded);
}

bool ChannelDownmix::fold(const uint8_t* bytes, uint32_t byteCount, uint8_t*& output, uint32_t& outputBytes) {
  const uint32_t frameBytes = inputChannels * sampleBytes;
  const uint64_t frames = (uint64_t(partialBytes) + byteCount) / frameBytes;
  output = nullptr;
  outputBytes = 0;
  uint8_t* folded = frames == 0 ? nullptr : new (std::nothrow) uint8_t[size_t(frames * outputChannels * sampleBytes)];
  const uint32_t foldedFrameBytes = outputChannels * sampleBytes;
  size_t foldedOffset = 0;
  uint32_t used = 0;
  if (partialBytes != 0 && frames != 0) {  // complete the frame the last call began
    used = frameBytes - partialBytes;
    std::memcpy(partialFrame + partialBytes, bytes, used);
    partialBytes = 0;
    if (folded != nullptr) foldFrame(partialFrame, folded);
    foldedOffset = foldedFrameBytes;
  }
  for (; byteCount - used >= frameBytes; used += frameBytes, foldedOffset += foldedFrameBytes) {
    if (folded != nullptr) foldFrame(bytes + used, folded + foldedOffset);
  }
  if (byteCount != used) std::memcpy(partialFrame + partialBytes, bytes + used, byteCount - used);
  partialBytes += byteCount - used;
  if (frames != 0 && folded == nullptr) return false;
  output = folded;
  outputBytes = uint32_t(frames * foldedFrameBytes);
  return true;
}
