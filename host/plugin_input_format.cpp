#include "host/plugin_input_format.h"

#include <cstddef>
#include <cstring>

#include "wavfile/wave_format_record.h"
#include "windows/speaker_layout.h"
#include "windows/wave_format_layout.h"

// The record is the fmt chunk of a WAVE file byte for byte.
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == kWaveExtensibleRecordBytes, "packed as stored");
static_assert(offsetof(WAVEFORMATEXTENSIBLE, dwChannelMask) == kWaveChannelMaskOffset, "packed as stored");
static_assert(offsetof(WAVEFORMATEXTENSIBLE, SubFormat) == kWaveSubformatOffset, "packed as stored");

WAVEFORMATEXTENSIBLE pluginInputFormat(const WavFormat& format) {
  uint8_t stored[kWaveExtensibleRecordBytes] = {};  // a plain record leaves cbSize 0
  storeFormatRecord(format, stored);
  WAVEFORMATEXTENSIBLE record;
  std::memcpy(&record, stored, sizeof record);
  return record;
}

bool pluginTakes(const WavFormat& format, std::string& error) {
  // The plug-in folds channels by their speaker positions, and WAVE names no more.
  if (format.channels <= kNamedSpeakerPositions) return true;
  error = std::to_string(format.channels) + " channels: the plug-in takes at most " +
          std::to_string(kNamedSpeakerPositions);
  return false;
}
