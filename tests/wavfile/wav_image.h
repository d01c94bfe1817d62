#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Builds WAVE file images byte by byte, so that tests can break any field.
struct WavImage {
  std::vector<uint8_t> bytes;

  void tag(const char* id) { bytes.insert(bytes.end(), id, id + 4); }
  void u16(uint32_t v) {
    bytes.push_back(uint8_t(v));
    bytes.push_back(uint8_t(v >> 8));
  }
  void u32(uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  }
  void riffHeader(uint32_t riffSize, const char* form = "WAVE") {
    tag("RIFF");
    u32(riffSize);
    tag(form);
  }
  void plainFmt(uint32_t channels, uint32_t rate, uint32_t bits, uint32_t blockAlign, uint32_t tagValue = 1) {
    tag("fmt ");
    u32(16);
    u16(tagValue);
    u16(channels);
    u32(rate);
    u32(rate * blockAlign);
    u16(blockAlign);
    u16(bits);
  }
  void extensibleFmt(uint32_t channels, uint32_t rate, uint32_t bits, uint32_t subformat, uint32_t validBits) {
    tag("fmt ");
    u32(40);
    u16(0xFFFE);
    u16(channels);
    u32(rate);
    u32(rate * channels * bits / 8);
    u16(channels * bits / 8);
    u16(bits);
    u16(22);
    u16(validBits);
    u32(0x3);  // channel mask
    u32(subformat);
    const uint8_t tail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    bytes.insert(bytes.end(), tail, tail + 12);
  }
  void chunk(const char* id, const std::vector<uint8_t>& body) {
    tag(id);
    u32(uint32_t(body.size()));
    bytes.insert(bytes.end(), body.begin(), body.end());
    if (body.size() % 2) bytes.push_back(0);
  }
  void dataHeader(uint32_t size) {
    tag("data");
    u32(size);
  }
  // Sets the RIFF size to what the bytes written so far need.
  void fixRiffSize() {
    uint32_t size = uint32_t(bytes.size() - 8);
    for (int i = 0; i < 4; ++i) bytes[4 + i] = uint8_t(size >> (8 * i));
  }
};

// A complete, valid file: fmt then data holding `data`.
inline WavImage validWav(uint32_t channels, uint32_t rate, uint32_t bits, const std::vector<uint8_t>& data) {
  WavImage image;
  image.riffHeader(0);
  image.plainFmt(channels, rate, bits, channels * bits / 8);
  image.chunk("data", data);
  image.fixRiffSize();
  return image;
}
