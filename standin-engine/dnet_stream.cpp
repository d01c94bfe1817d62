#include "standin-engine/dnet_stream.h"

#include <utility>

const char* DnetStream::configure(uint32_t sampleRate, uint16_t channels, uint32_t bitRate) {
  Ac3Config config;
  config.sampleRate = sampleRate;
  config.channels = channels;
  config.bitRate = bitRate;
  if (const char* refusal = encoder_.configure(config)) return refusal;
  sampleRate_ = sampleRate;
  channels_ = channels;
  return nullptr;
}

uint32_t DnetStream::bitRate() const {
  return static_cast<uint32_t>(uint64_t(frameBytes()) * 8 * sampleRate_ / kAc3SamplesPerFrame);
}

void DnetStream::code(const uint8_t* pcm, size_t bytes, std::vector<uint8_t>& frames) {
  if (channels_ == 0) return;
  // The PCM arrives little-endian whatever the host's order.
  samples_.resize(bytes / 2);
  for (size_t i = 0; i < samples_.size(); ++i)
    samples_[i] = static_cast<int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
  const size_t from = frames.size();
  encoder_.encode(samples_.data(), samples_.size() / channels_, frames);
  swapWords(frames, from);
}

void DnetStream::finish(std::vector<uint8_t>& frames) {
  if (channels_ == 0) return;
  const size_t from = frames.size();
  encoder_.flush(frames);
  swapWords(frames, from);
}

void DnetStream::swapWords(std::vector<uint8_t>& frames, size_t from) const {
  for (size_t i = from; i + 1 < frames.size(); i += 2) std::swap(frames[i], frames[i + 1]);
}
