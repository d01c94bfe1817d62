#pragma once
#include <cstdint>

// Folds interleaved integer PCM of more than two channels down to one or two
// channels of the same sample width, the way a multichannel recording is
// expected to sound in stereo or mono.
//
// Speaker positions follow the WAVE channel mask: the channels of a frame
// take the mask's set bits in ascending order (FL FR FC LFE BL BR FLC FRC BC
// SL SR TC TFL TFC TFR TBL TBC TBR); bits beyond the channel count are
// ignored. Channels beyond the positions a mask names (all of them for a
// mask of 0), or at its undefined bits, have no position and are treated
// like a centre channel. Where the input names no layout, the caller passes
// the usual one for the count (defaultChannelMask in windows/speaker_layout.h).
//
// Stereo weights (k = 1/sqrt(2), -3 dB):
//   front left/right and the front left/right of centre: 1 to their own side;
//   every other left or right position (back, side, top): k to its side;
//   centre positions (FC, BC, TC, TFC, TBC) and unpositioned channels: k to
//     both sides;
//   LFE: 0 (it carries nothing a full-range downmix needs, and adding it
//     would only cost headroom).
// Mono: k x (left weight + right weight), so a front channel counts k, the
// centre 1 and a back or side channel 1/2.
// Finally every weight is divided by the largest sum of weights of one output
// channel (when that sum exceeds 1): no input, however loud, can clip. For
// 5.1 into stereo that sum is 1 + 2k, so FL 0.414 (-7.7 dB), FC and BL
// 0.293 (-10.7 dB) into the left channel.
class ChannelDownmix {
 public:
  ChannelDownmix() = default;
  ~ChannelDownmix();
  ChannelDownmix(const ChannelDownmix&) = delete;
  ChannelDownmix& operator=(const ChannelDownmix&) = delete;

  // inputChannels 3 to 18 (the positions WAVE names), outputChannels 1 or 2, a width of 8, 16 or 24
  // bits; channelMask the channels' positions. False when the formats are
  // refused or memory ran out.
  bool configure(uint32_t inputChannels, uint32_t channelMask, uint32_t outputChannels, uint32_t bitsPerSample);

  // Folds every whole frame of the bytes seen so far: `bytes` follow a
  // partial frame left by the previous call. `output` receives a new[]
  // buffer of folded frames (null when no frame was completed) and
  // outputBytes its length. False when memory ran out: those frames are lost,
  // but the frame boundaries of later calls stay right.
  bool fold(const uint8_t* bytes, uint32_t byteCount, uint8_t*& output, uint32_t& outputBytes);

 private:
  void setWeights(uint32_t channelMask);
  void normaliseWeights();
  void foldFrame(const uint8_t* frame, uint8_t* folded);

  double* weights = nullptr;       // outputChannels rows of inputChannels
  double* frameSamples = nullptr;  // one decoded input frame
  uint8_t* partialFrame = nullptr;
  uint32_t partialBytes = 0;
  uint32_t inputChannels = 0;
  uint32_t outputChannels = 0;
  uint32_t sampleBytes = 0;
};
