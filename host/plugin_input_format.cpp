#include "host/plugin_input_format.h"

#include <cstddef>
#include <cstring>

#include "wavfile/wave_format_record.h"

// The record is the fmt chunk of a WAVE file byte for byte.
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == kWaveExtensibleRecordBytes, "packed as stored");
static_assert(offsetof(WAVEFORMATEXTENSIBLE, SubFormat) == 24, "packed as stored");

WAVEFORMATEXTENSIBLE pluginInputFormat(const WavFormat& format) {
  uint8_t stored[kWaveExtensibleRecordBytes] = {};  // a plain record leaves cbSize 0
  storeFormatRecord(format, stored);
  WAVEFORMATEXTENSIBLE record;
  std::memcpy(&record, stored, sizeof record);
  return record;
}
