// Memory that cannot be had is reported, never lost silently: configure
// fails cleanly at every allocation, and a conversion call either does all
// its work or none of it.

#include <gtest/gtest.h>

#include "tests/resample/converter_probe.h"
#include "tests/plugin/failing_allocator.h"

namespace {

TEST(AllocationFailure, ConfigureFailsCleanlyAtEveryAllocation) {
  for (const PcmFormat format : {PcmFormat{2, 22050, 16}, PcmFormat{2, 48000, 16}}) {
    SCOPED_TRACE(format.sampleRate);
    failing_allocator::failNth(0);
    {
      SampleRateConverter reference;
      ASSERT_TRUE(reference.configure(format, 44100));
    }
    const int allocations = failing_allocator::allocationsSinceArmed();
    ASSERT_GT(allocations, 10);
    for (int failing = 1; failing <= allocations; ++failing) {
      SCOPED_TRACE(failing);
      SampleRateConverter converter;
      failing_allocator::failNth(failing);
      EXPECT_FALSE(converter.configure(format, 44100));
      failing_allocator::failNth(0);
      uint32_t count = 4;
      uint8_t* out = nullptr;
      const uint8_t pcm[4] = {};
      EXPECT_TRUE(converter.convertBlock(pcm, count, true, out));  // unconfigured: nothing happens
      EXPECT_EQ(out, nullptr);
    }
  }
}

// Converts `pcm` in three calls; the k-th allocation of each call fails
// once (0: none), and the failed call is repeated.
std::vector<uint8_t> convertWithFailures(int in, int out, const std::vector<uint8_t>& pcm, int failing,
                                         int& failures) {
  SampleRateConverter converter;
  EXPECT_TRUE(converter.configure(PcmFormat{2, in, 16}, out));
  const size_t cuts[] = {0, 70001, 70001 + 90002, pcm.size()};
  std::vector<uint8_t> output;
  for (int call = 0; call < 3; ++call) {
    const bool end = call == 2;
    const uint32_t size = uint32_t(cuts[call + 1] - cuts[call]);
    const uint64_t framesInBefore = converter.framesIn();
    failing_allocator::failNth(failing);
    uint32_t count = size;
    uint8_t* result = nullptr;
    const bool ok = converter.convertBlock(pcm.data() + cuts[call], count, end, result);
    failing_allocator::failNth(0);
    if (!ok) {
      ++failures;
      EXPECT_EQ(result, nullptr);
      EXPECT_EQ(count, 0u);
      EXPECT_EQ(converter.framesIn(), framesInBefore);
      count = size;
      EXPECT_TRUE(converter.convertBlock(pcm.data() + cuts[call], count, end, result));
    }
    if (result != nullptr) output.insert(output.end(), result, result + count);
    delete[] result;
  }
  return output;
}

TEST(AllocationFailure, FailedCallTakesNothingAndCanBeRepeated) {
  const std::vector<uint8_t> pcm = noiseBytes(200000, 6);
  for (const auto& pair : {std::make_pair(44100, 22050), std::make_pair(22050, 48000)}) {
    SCOPED_TRACE(pair.first);
    int failures = 0;
    const std::vector<uint8_t> reference = convertWithFailures(pair.first, pair.second, pcm, 0, failures);
    ASSERT_EQ(failures, 0);
    ASSERT_EQ(int64_t(reference.size() / 4), expectedStreamFrames(50000, pair.first, pair.second));
    for (int failing : {1, 2}) {
      SCOPED_TRACE(failing);
      failures = 0;
      EXPECT_EQ(convertWithFailures(pair.first, pair.second, pcm, failing, failures), reference);
      // Every call allocates its result first; the two calls without the end
      // flag also allocate a leftover (the end call consumes whole frames).
      EXPECT_EQ(failures, failing == 1 ? 3 : 2);
    }
  }
}

}  // namespace
