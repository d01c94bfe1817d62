#pragma once
// Decodes AC-3 sync frames with libavcodec, CRC checks on and every error
// fatal, for the encoder's tests and fuzz target.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVPacket;
struct AVFrame;

class Ac3TestDecoder {
 public:
  Ac3TestDecoder();
  ~Ac3TestDecoder();
  Ac3TestDecoder(const Ac3TestDecoder&) = delete;
  Ac3TestDecoder& operator=(const Ac3TestDecoder&) = delete;

  // Decodes one whole frame and appends its samples (interleaved) to
  // `samples`; false, with `error` set, if libavcodec refused or logged an
  // error.
  bool decodeFrame(const uint8_t* frame, size_t size, std::vector<float>& samples, std::string& error);

  int sampleRate() const { return rate; }
  int channels() const { return channelCount; }

 private:
  AVCodecContext* context = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  int rate = 0;
  int channelCount = 0;
};

// CRC of the frame's first 5/8 (after the sync word) computed here from the
// generator, which must be zero: libavcodec checks only the whole frame.
bool ac3FirstCrcHolds(const uint8_t* frame, size_t size);
