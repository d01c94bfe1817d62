#include "tests/ac3/ac3_decoding.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

namespace {

std::atomic<int> loggedErrors{0};
char lastMessage[512];

// Any error libavcodec logs counts, even one it goes on from.
void countErrors(void*, int level, const char* format, va_list args) {
  if (level > AV_LOG_ERROR) return;
  std::vsnprintf(lastMessage, sizeof lastMessage, format, args);
  ++loggedErrors;
}

}  // namespace

Ac3TestDecoder::Ac3TestDecoder() {
  av_log_set_callback(countErrors);
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AC3);
  context = avcodec_alloc_context3(codec);
  context->err_recognition = AV_EF_CRCCHECK | AV_EF_CAREFUL | AV_EF_EXPLODE;
  context->request_sample_fmt = AV_SAMPLE_FMT_FLTP;
  avcodec_open2(context, codec, nullptr);
  packet = av_packet_alloc();
  frame = av_frame_alloc();
}

Ac3TestDecoder::~Ac3TestDecoder() {
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&context);
}

bool Ac3TestDecoder::decodeFrame(const uint8_t* bytes, size_t size, std::vector<float>& samples, std::string& error) {
  loggedErrors = 0;
  if (av_new_packet(packet, static_cast<int>(size)) < 0) {
    error = "no memory for a packet";
    return false;
  }
  std::copy(bytes, bytes + size, packet->data);
  const int sent = avcodec_send_packet(context, packet);
  av_packet_unref(packet);
  const int received = sent < 0 ? sent : avcodec_receive_frame(context, frame);
  if (sent < 0 || received < 0 || loggedErrors > 0) {
    error = loggedErrors > 0 ? lastMessage : "libavcodec refused the frame";
    return false;
  }
  rate = frame->sample_rate;
  channelCount = frame->ch_layout.nb_channels;
  if (frame->format != AV_SAMPLE_FMT_FLTP) {
    error = "unexpected sample format";
    return false;
  }
  for (int i = 0; i < frame->nb_samples; ++i) {
    for (int ch = 0; ch < channelCount; ++ch) samples.push_back(reinterpret_cast<const float*>(frame->data[ch])[i]);
  }
  av_frame_unref(frame);
  return true;
}

bool ac3FirstCrcHolds(const uint8_t* bytes, size_t size) {
  const size_t words = size / 2;
  const size_t end = 2 * ((words >> 1) + (words >> 3));
  unsigned reg = 0;
  for (size_t i = 2; i < end; ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      const unsigned in = (bytes[i] >> bit) & 1u;
      const unsigned top = (reg >> 15) & 1u;
      reg = (reg << 1) & 0xffffu;
      if (top ^ in) reg ^= 0x8005u;
    }
  }
  return reg == 0;
}
