#include "wavfile/wave_format_record.h"

#include <cstring>

#include "wavfile/little_endian.h"

uint32_t storeFormatRecord(const WavFormat& format, uint8_t* record) {
  const uint32_t frameBytes = uint32_t(format.frameBytes());
  putLe16(record, format.needsExtensible() ? kWaveTagExtensible : kWaveTagPcm);
  putLe16(record + 2, uint32_t(format.channels));
  putLe32(record + 4, uint32_t(format.sampleRate));
  putLe32(record + 8, uint32_t(format.sampleRate) * frameBytes);
  putLe16(record + 12, frameBytes);
  putLe16(record + 14, uint32_t(format.bitsPerSample));
  if (!format.needsExtensible()) return 16;
  putLe16(record + kWaveExtensionSizeOffset, kWaveExtensionBytes);
  putLe16(record + kWaveValidBitsOffset, uint32_t(format.bitsPerSample));
  putLe32(record + kWaveChannelMaskOffset, format.channelMask);
  std::memcpy(record + kWaveSubformatOffset, kWavePcmSubformat, sizeof kWavePcmSubformat);
  return kWaveExtensibleRecordBytes;
}
