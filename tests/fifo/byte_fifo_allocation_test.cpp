#include <gtest/gtest.h>

#include "fifo/byte_fifo.h"
#include "tests/plugin/failing_allocator.h"

namespace {

TEST(ByteFifoAllocation, FailedJoinKeepsHeldBytesAndCount) {
  ByteFifo fifo;
  const uint8_t held[] = {1, 2, 3};
  const uint8_t fresh[] = {4, 5};
  ASSERT_TRUE(fifo.keepRemainder(held, 3));
  failing_allocator::failNth(1);
  uint32_t count = 2;
  EXPECT_EQ(fifo.drainAndAppend(fresh, count), nullptr);
  failing_allocator::failNth(0);
  EXPECT_EQ(count, 2u);
  ASSERT_EQ(fifo.size(), 3u);
  EXPECT_EQ(fifo.data()[2], 3);
  // Retrying once memory is back gives the full join.
  uint8_t* joined = fifo.drainAndAppend(fresh, count);
  ASSERT_NE(joined, nullptr);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(joined[4], 5);
  delete[] joined;
}

TEST(ByteFifoAllocation, FailedKeepReportsAndKeepsHeldBytes) {
  ByteFifo fifo;
  const uint8_t held[] = {'X', 'Y'};
  const uint8_t other[] = {'Z'};
  ASSERT_TRUE(fifo.keepRemainder(held, 2));
  failing_allocator::failNth(1);
  EXPECT_FALSE(fifo.keepRemainder(other, 1));
  failing_allocator::failNth(0);
  ASSERT_EQ(fifo.size(), 2u);
  EXPECT_EQ(fifo.data()[0], 'X');
}

}  // namespace
