#pragma once

#include <cstdint>

#include "wavfile/wav_format.h"
#include "windows/wave_format_layout.h"

// Stores the fmt record of a WAVE file that describes `format`, laid out as
// Windows' WAVEFORMATEX or WAVEFORMATEXTENSIBLE, into record (room for
// kWaveExtensibleRecordBytes) and returns its length: 16 bytes for plain PCM,
// which has no cbSize, or the extensible 40.
uint32_t storeFormatRecord(const WavFormat& format, uint8_t* record);
