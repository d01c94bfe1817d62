#include "host/plugin_input_format.h"

namespace {

// KSDATAFORMAT_SUBTYPE_PCM, spelled out: the named GUID needs a library the
// host does not otherwise link.
const GUID kPcmSubformat = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const WORD kExtensibleExtraBytes = 22;

}  // namespace

WAVEFORMATEXTENSIBLE pluginInputFormat(const WavFormat& format) {
  WAVEFORMATEXTENSIBLE record = {};
  WAVEFORMATEX& wave = record.Format;
  wave.wFormatTag = WAVE_FORMAT_PCM;
  wave.nChannels = WORD(format.channels);
  wave.nSamplesPerSec = DWORD(format.sampleRate);
  wave.wBitsPerSample = WORD(format.bitsPerSample);
  wave.nBlockAlign = WORD(format.frameBytes());
  wave.nAvgBytesPerSec = wave.nBlockAlign * wave.nSamplesPerSec;
  wave.cbSize = 0;
  if (format.needsExtensible()) {
    wave.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    wave.cbSize = kExtensibleExtraBytes;
    record.Samples.wValidBitsPerSample = WORD(format.bitsPerSample);
    record.dwChannelMask = format.channelMask;
    record.SubFormat = kPcmSubformat;
  }
  return record;
}
