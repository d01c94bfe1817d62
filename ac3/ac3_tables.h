#pragma once
// Fixed values of the AC-3 bit stream: frame sizes, bit rates, the bands of
// the bit allocation and its tables. Facts only; no behaviour lives here.
#include <cstdint>

namespace ac3 {

constexpr int kBlocksPerFrame = 6;
constexpr int kCoefsPerBlock = 256;
constexpr int kBandCount = 50;
constexpr int kMaxCodedCoefs = 253;   // a full-bandwidth channel stops here
constexpr int kMaxExponent = 24;
constexpr int kMaxChannels = 2;
constexpr int kFrameSizeCodes = 38;
constexpr int kRematrixBands = 4;

// Nominal bit rates in kbps, one per pair of frame size codes.
extern const uint16_t kBitRateKbps[kFrameSizeCodes / 2];

// The nominal sample rate of each fscod (before a reduced-rate shift).
extern const uint32_t kSampleRateOfFscod[3];

// 16-bit words in a sync frame for a sample rate code and frame size code.
uint32_t frameWords(int fscod, int frmsizecod);

// First coefficient of each bit allocation band; kBandStart[50] ends the last.
extern const uint8_t kBandStart[kBandCount + 1];
// The band each coefficient belongs to.
extern const uint8_t kBandOfBin[kCoefsPerBlock];

// Hearing threshold per band and fscod.
extern const uint16_t kHearingThreshold[kBandCount][3];
// Power addition of two levels in 1/128 of an exponent step.
extern const uint8_t kLogAdd[256];
// Bit allocation pointer for each (psd - mask) >> 5 address.
extern const uint8_t kBapOfAddress[64];

extern const uint8_t kSlowDecay[4];
extern const uint8_t kFastDecay[4];
extern const uint16_t kSlowGain[4];
extern const uint16_t kDbPerBit[4];
extern const int16_t kFloor[8];
extern const uint16_t kFastGain[8];

// Coefficient ranges the stereo sum/difference flags cover (the last
// stops at the channel's end).
extern const uint8_t kRematrixBandStart[kRematrixBands + 1];

// Quantizer levels of the symmetric bit allocation pointers 1..5 (0 for
// others) and bits of a mantissa for every pointer (grouped ones: 0).
extern const uint8_t kSymmetricLevels[16];
extern const uint8_t kMantissaBits[16];

}  // namespace ac3
