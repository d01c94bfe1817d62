#pragma once

#include <cstdint>

#include "wavfile/wav_format.h"

// The fmt record of a WAVE file, laid out as Windows' WAVEFORMATEX and
// WAVEFORMATEXTENSIBLE: the same bytes describe a file's samples and the PCM
// a host hands a codec.
inline constexpr uint16_t kWaveTagPcm = 0x0001;
inline constexpr uint16_t kWaveTagExtensible = 0xFFFE;
// cbSize of the extensible record: valid bits, channel mask, sub-format.
inline constexpr uint16_t kWaveExtensionBytes = 22;
// The PCM sub-format GUID as stored. The sub-format of every other format
// tag differs only in its first four bytes, which hold the tag.
inline constexpr uint8_t kWavePcmSubformat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                  0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
inline constexpr uint32_t kWaveExtensibleRecordBytes = 40;

// Stores the record that describes format into record (room for
// kWaveExtensibleRecordBytes) and returns its length: 16 bytes for plain
// PCM, which has no cbSize, or the extensible 40.
uint32_t storeFormatRecord(const WavFormat& format, uint8_t* record);
