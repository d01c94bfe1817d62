#pragma once
// The audio of a RealAudio "dnet" stream: the clip's 16-bit PCM coded as
// AC-3 sync frames, each 16-bit word stored low byte first (the reverse of
// the AC-3 standard's order), as RealMedia readers expect of this codec.
// One frame codes 1536 samples per channel.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ac3/ac3_encoder.h"

class DnetStream {
 public:
  // Null on success, otherwise why AC-3 cannot code this format.
  const char* configure(uint32_t sampleRate, uint16_t channels, uint32_t bitRate);
  // Codes interleaved 16-bit little-endian PCM (whole frames) and appends
  // every sync frame completed to `frames`.
  void code(const uint8_t* pcm, size_t bytes, std::vector<uint8_t>& frames);
  // Codes the rest, so that every sample taken plays, and ends the stream.
  void finish(std::vector<uint8_t>& frames);

  uint32_t frameBytes() const { return encoder_.frameBytes(); }
  // The bit rate the frames really carry (frame bytes at the frame rate).
  uint32_t bitRate() const;
  uint32_t sampleRate() const { return sampleRate_; }

 private:
  void swapWords(std::vector<uint8_t>& frames, size_t from) const;

  Ac3Encoder encoder_;
  uint32_t sampleRate_ = 0;
  uint16_t channels_ = 0;
  std::vector<int16_t> samples_;
};
