#include "wavfile/wav_format_chunk.h"

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "wavfile/little_endian.h"
#include "windows/speaker_layout.h"
#include "windows/wave_format_layout.h"

namespace {

constexpr uint32_t kPlainFormatBytes = 16;
constexpr uint16_t kTagFloat = 0x0003;
constexpr uint16_t kTagALaw = 0x0006;
constexpr uint16_t kTagMuLaw = 0x0007;

// An extensible sub-format GUID is a format tag as a 32-bit little-endian
// value followed by the fixed tail of the PCM one.
constexpr size_t kGuidTagBytes = 4;

std::string number(uint64_t value) { return std::to_string(value); }

bool fail(std::string& error, const std::string& reason) {
  error = reason;
  return false;
}

// The encoding of a format tag, and its stored widths; false for a tag the
// reader cannot decode.
bool encodingOf(uint32_t tag, WavEncoding& encoding) {
  switch (tag) {
    case kWaveTagPcm: encoding = WavEncoding::kPcm; return true;
    case kTagFloat: encoding = WavEncoding::kFloat; return true;
    case kTagALaw: encoding = WavEncoding::kALaw; return true;
    case kTagMuLaw: encoding = WavEncoding::kMuLaw; return true;
    default: return false;
  }
}

bool widthFits(WavEncoding encoding, int bits, std::string& error) {
  switch (encoding) {
    case WavEncoding::kPcm:
      if (bits == 8 || bits == 16 || bits == 24 || bits == 32) return true;
      return fail(error, number(bits) + "-bit samples are not supported (8, 16, 24 or 32-bit PCM only)");
    case WavEncoding::kFloat:
      if (bits == 32 || bits == 64) return true;
      return fail(error, number(bits) + "-bit floating point is not supported (32 or 64 bits only)");
    default:
      if (bits == 8) return true;
      return fail(error, number(bits) + "-bit A-law or µ-law is not supported (8 bits only)");
  }
}

int deliveredBits(const WavStoredFormat& stored) {
  if (stored.encoding == WavEncoding::kALaw || stored.encoding == WavEncoding::kMuLaw) return 16;
  return stored.bitsPerSample > 24 ? 24 : stored.bitsPerSample;
}

// "{00000003-0000-0010-8000-00AA00389B71}": a GUID as Windows prints it.
std::string guidText(const uint8_t* guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", unsigned(le32(guid)),
                unsigned(le16(guid + 4)), unsigned(le16(guid + 6)), guid[8], guid[9], guid[10], guid[11], guid[12],
                guid[13], guid[14], guid[15]);
  return text;
}

bool parseExtension(const uint8_t* fmt, uint32_t size, uint32_t& tag, uint32_t& channelMask, std::string& error) {
  if (size < kWaveExtensibleRecordBytes)
    return fail(error, "extensible fmt chunk too short (" + number(size) + " bytes, 40 needed)");
  uint16_t extraBytes = le16(fmt + kWaveExtensionSizeOffset);
  if (extraBytes < kWaveExtensionBytes)
    return fail(error, "extensible fmt extension too short (" + number(extraBytes) + " bytes, 22 needed)");
  const uint8_t* subformat = fmt + kWaveSubformatOffset;
  tag = le32(subformat);
  // A mask of 0 places no speaker at all; several writers leave it so, and
  // players then take the usual layout for the count (already in channelMask).
  const uint32_t storedMask = le32(fmt + kWaveChannelMaskOffset);
  if (storedMask != 0) channelMask = storedMask;
  const char* readable = "; PCM, floating point, A-law and µ-law are read)";
  if (std::memcmp(subformat + kGuidTagBytes, kWavePcmSubformat + kGuidTagBytes,
                  sizeof kWavePcmSubformat - kGuidTagBytes) != 0)
    return fail(error, "unsupported encoding (extensible sub-format " + guidText(subformat) +
                           ", which is no WAVE format tag" + readable);
  WavEncoding ignored;
  if (!encodingOf(tag, ignored))
    return fail(error, "unsupported encoding (extensible sub-format " + guidText(subformat) + ", format tag " +
                           number(tag) + readable);
  uint16_t validBits = le16(fmt + kWaveValidBitsOffset);
  uint16_t bits = le16(fmt + 14);
  if (validBits > bits)
    return fail(error, "extensible valid bits " + number(validBits) + " exceed the " + number(bits) + "-bit container");
  return true;
}

}  // namespace

bool parseFormatChunk(const uint8_t* fmt, uint32_t size, WavFormatChunk& chunk, std::string& error) {
  if (size < kPlainFormatBytes)
    return fail(error, "fmt chunk too short (" + number(size) + " bytes, at least 16 needed)");
  uint32_t tag = le16(fmt);
  uint16_t channels = le16(fmt + 2);
  uint32_t rate = le32(fmt + 4);
  uint16_t blockAlign = le16(fmt + 12);
  uint16_t bits = le16(fmt + 14);

  uint32_t channelMask = defaultChannelMask(channels);
  if (tag == kWaveTagExtensible && !parseExtension(fmt, size, tag, channelMask, error)) return false;
  WavStoredFormat stored;
  if (!encodingOf(tag, stored.encoding))
    return fail(error, "unsupported encoding (format tag " + number(tag) +
                           "; PCM, floating point, A-law and µ-law are read)");
  if (channels == 0) return fail(error, "0 channels");
  if (rate == 0) return fail(error, "sample rate 0");
  if (rate > uint32_t(INT_MAX)) return fail(error, "sample rate " + number(rate) + " out of range");
  if (!widthFits(stored.encoding, bits, error)) return false;
  uint32_t expectedAlign = uint32_t(channels) * (bits / 8u);
  if (blockAlign != expectedAlign)
    return fail(error, "block alignment " + number(blockAlign) + " disagrees with " + number(channels) +
                           " channels of " + number(bits) + " bits (" + number(expectedAlign) + " expected)");

  stored.bitsPerSample = bits;
  stored.channels = channels;
  chunk.stored = stored;
  chunk.delivered.channels = channels;
  chunk.delivered.sampleRate = int(rate);
  chunk.delivered.bitsPerSample = deliveredBits(stored);
  chunk.delivered.channelMask = channelMask;
  // The delivered frame must fit a 16-bit block alignment too.
  if (chunk.delivered.frameBytes() > 0xFFFF)
    return fail(error, number(channels) + " channels of " + number(chunk.delivered.bitsPerSample) +
                           "-bit PCM do not fit a WAVE frame");
  return true;
}
