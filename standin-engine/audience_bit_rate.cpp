#include "standin-engine/audience_bit_rate.h"

#include <algorithm>
#include <iterator>

#include "ac3/ac3_encoder.h"

namespace standin {

namespace {

// What each audience's connection leaves for audio, in kbps: "28kbps",
// "56kbps", "ISDN", "2x ISDN", "LAN", "256k DSL", "384k DSL", "512k DSL".
constexpr uint32_t kBudgetsKbps[] = {20, 32, 45, 80, 150, 225, 350, 450};

}  // namespace

uint32_t audienceBudget(int32_t audience) {
  const size_t last = std::size(kBudgetsKbps) - 1;
  const size_t index = audience < 0 ? 0 : std::min(static_cast<size_t>(audience), last);
  return kBudgetsKbps[index] * 1000;
}

uint32_t codedBitRate(const std::vector<int32_t>& audiences, uint32_t sampleRate) {
  uint32_t budget = audienceBudget(0);
  if (!audiences.empty()) {
    budget = 0;
    for (int32_t audience : audiences) budget = std::max(budget, audienceBudget(audience));
  }
  return ac3BitRateAtMost(sampleRate, budget);
}

}  // namespace standin
