#pragma once

#include <cstddef>
#include <cstdint>

// Windows' WAVEFORMATEX and WAVEFORMATEXTENSIBLE records as stored, packed
// and little-endian: the fmt chunk of a WAVE file and the format a host
// hands a codec are the same bytes. No Windows header is needed to read them.
inline constexpr uint16_t kWaveTagPcm = 0x0001;
inline constexpr uint16_t kWaveTagExtensible = 0xFFFE;
// cbSize of the extensible record: valid bits, channel mask, sub-format.
inline constexpr uint16_t kWaveExtensionBytes = 22;
// The PCM sub-format GUID as stored. The sub-format of every other format
// tag differs only in its first four bytes, which hold the tag.
inline constexpr uint8_t kWavePcmSubformat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                  0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
inline constexpr uint32_t kWaveExtensibleRecordBytes = 40;

// Where the fields past the 16-byte plain record lie, from the record's start.
inline constexpr size_t kWaveExtensionSizeOffset = 16;  // cbSize, 16 bits
inline constexpr size_t kWaveValidBitsOffset = 18;      // 16 bits
inline constexpr size_t kWaveChannelMaskOffset = 20;    // 32 bits
inline constexpr size_t kWaveSubformatOffset = 24;      // the 16-byte GUID
