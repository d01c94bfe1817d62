#pragma once
// The bit rate the stand-in codes at: the audio budget of the highest target
// audience selected, as the largest AC-3 bit rate within it at the clip's
// sample rate. A SureStream clip gets one stream, coded for that audience.
#include <cstdint>
#include <vector>

namespace standin {

// Audio budget in bits per second of target audience `audience` (0 "28kbps"
// to 7 "512k DSL"); numbers past the table take its last budget.
uint32_t audienceBudget(int32_t audience);

// The coded bit rate for the audiences selected (none: audience 0) at
// `sampleRate`; 0 when AC-3 cannot code that rate.
uint32_t codedBitRate(const std::vector<int32_t>& audiences, uint32_t sampleRate);

}  // namespace standin
