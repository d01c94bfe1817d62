#pragma once
// An AC-3 (ATSC A/52) encoder for one or two channels of 16-bit PCM, at the
// standard's rates (48000, 44100, 32000 Hz) and at the reduced rates that
// decoders accept with bit-stream id 9 (half: 24000, 22050, 16000 Hz) and
// 10 (quarter: 12000, 11025, 8000 Hz).
//
// Each sync frame codes 1536 samples per channel (six blocks of 256). The
// decoder's output runs 256 samples behind the input (the transform's
// overlap): input sample n plays as decoded sample n + kAc3DelaySamples.
// flush() codes frames until every input sample has been coded.
//
// Frames come out as the standard defines them: big-endian 16-bit words,
// sync word 0x0B77 first, both CRCs filled in.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

constexpr uint32_t kAc3SamplesPerFrame = 1536;
constexpr uint32_t kAc3DelaySamples = 256;

struct Ac3Config {
  uint32_t sampleRate = 44100;  // Hz: one of the nine rates above
  uint16_t channels = 2;        // 1 or 2
  uint32_t bitRate = 128000;    // bits per second: one that ac3BitRateAtMost() can return for the rate
};

// The reason `config` cannot be coded, or null when it can.
const char* ac3ConfigRefusal(const Ac3Config& config);

// The largest bit rate (bits per second) this rate allows that does not
// exceed `budget`, or the lowest one allowed when none does; 0 for a rate
// AC-3 cannot code. The reduced rates halve or quarter the standard's table
// (32 to 640 kbps).
uint32_t ac3BitRateAtMost(uint32_t sampleRate, uint32_t budget);

// Bytes in each sync frame for `config`; 0 when refused. Every frame of a
// stream has this size: at 44.1 kHz (and its half and quarter) the smaller
// of the table's two sizes, never the padded one, so that a container can
// cut the stream into frames without parsing it.
uint32_t ac3FrameBytes(const Ac3Config& config);

class Ac3Encoder {
 public:
  Ac3Encoder();
  ~Ac3Encoder();
  Ac3Encoder(const Ac3Encoder&) = delete;
  Ac3Encoder& operator=(const Ac3Encoder&) = delete;

  // Sets up a new stream; null on success, otherwise why it was refused
  // (and the encoder takes no input).
  const char* configure(const Ac3Config& config);
  // Takes interleaved 16-bit PCM (`frames` samples per channel) and appends
  // every sync frame it completes to `out`.
  void encode(const int16_t* pcm, size_t frames, std::vector<uint8_t>& out);
  // Codes what is pending, padded with silence, and the overlap behind it,
  // so the decoder plays every sample taken; the stream then ends.
  void flush(std::vector<uint8_t>& out);

  uint32_t frameBytes() const;
  uint64_t framesCoded() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};
