#pragma once

#include <cstdint>

// Speaker positions of the WAVE channel mask (WAVE_FORMAT_EXTENSIBLE): bit n
// names the n-th of FL FR FC LFE BL BR FLC FRC BC SL SR TC TFL TFC TFR TBL
// TBC TBR, and a file's channels take the set bits in ascending order. Bits
// beyond the channel count are ignored; channels beyond the set bits have no
// position (a mask of 0 places none).
constexpr int kNamedSpeakerPositions = 18;

// The layout assumed for a count when the source names none: mono FC,
// stereo FL FR, 3 FL FR FC, 4 FL FR BL BR, 5 FL FR FC BL BR, 5.1, 6.1, 7.1,
// and for other counts the positions in order (past 18 channels the rest have
// no position).
constexpr uint32_t defaultChannelMask(uint32_t channels) {
  switch (channels) {
    case 1: return 0x004;
    case 2: return 0x003;
    case 3: return 0x007;
    case 4: return 0x033;
    case 5: return 0x037;
    case 6: return 0x03F;  // FL FR FC LFE BL BR
    case 7: return 0x70F;  // FL FR FC LFE BC SL SR
    case 8: return 0x63F;  // FL FR FC LFE BL BR SL SR
    default:
      return channels >= uint32_t(kNamedSpeakerPositions) ? (1u << kNamedSpeakerPositions) - 1
                                                           : (1u << channels) - 1;
  }
}
