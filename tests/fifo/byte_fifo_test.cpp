#include "fifo/byte_fifo.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> take(uint8_t* buffer, uint32_t count) {
  std::vector<uint8_t> bytes(buffer, buffer + count);
  delete[] buffer;
  return bytes;
}

TEST(ByteFifo, JoinOfEmptyFifoCopiesNewBytes) {
  ByteFifo fifo;
  const uint8_t fresh[] = {1, 2, 3, 4};
  uint32_t count = 4;
  uint8_t* joined = fifo.drainAndAppend(fresh, count);
  ASSERT_NE(joined, nullptr);
  EXPECT_NE(joined, fresh);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(take(joined, count), std::vector<uint8_t>({1, 2, 3, 4}));
  EXPECT_EQ(fifo.size(), 0u);
  EXPECT_EQ(fifo.data(), nullptr);
}

TEST(ByteFifo, JoinPutsHeldBytesFirstAndEmptiesFifo) {
  ByteFifo fifo;
  const uint8_t held[] = {'A', 'B', 'C'};
  const uint8_t fresh[] = {'D', 'E'};
  ASSERT_TRUE(fifo.keepRemainder(held, 3));
  uint32_t count = 2;
  uint8_t* joined = fifo.drainAndAppend(fresh, count);
  ASSERT_NE(joined, nullptr);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(take(joined, count), std::vector<uint8_t>({'A', 'B', 'C', 'D', 'E'}));
  EXPECT_EQ(fifo.size(), 0u);

  // A second join right after sees nothing held.
  count = 0;
  joined = fifo.drainAndAppend(nullptr, count);
  ASSERT_NE(joined, nullptr);
  EXPECT_EQ(count, 0u);
  delete[] joined;
}

TEST(ByteFifo, JoinWithoutNewBytesCopiesHeldBytes) {
  ByteFifo fifo;
  const uint8_t held[] = {9, 8};
  ASSERT_TRUE(fifo.keepRemainder(held, 2));
  uint32_t count = 0;
  uint8_t* joined = fifo.drainAndAppend(nullptr, count);
  EXPECT_EQ(take(joined, count), std::vector<uint8_t>({9, 8}));
}

TEST(ByteFifo, KeepRemainderOfZeroBytesKeepsWhatIsHeld) {
  ByteFifo fifo;
  const uint8_t held[] = {'X', 'Y'};
  ASSERT_TRUE(fifo.keepRemainder(held, 2));
  const uint8_t* before = fifo.data();
  EXPECT_TRUE(fifo.keepRemainder(nullptr, 0));
  EXPECT_EQ(fifo.data(), before);
  ASSERT_EQ(fifo.size(), 2u);
  EXPECT_EQ(fifo.data()[0], 'X');
  EXPECT_EQ(fifo.data()[1], 'Y');
}

TEST(ByteFifo, KeepRemainderReplacesWhatIsHeld) {
  ByteFifo fifo;
  const uint8_t held[] = {'X', 'Y'};
  const uint8_t z = 'Z';
  ASSERT_TRUE(fifo.keepRemainder(held, 2));
  ASSERT_TRUE(fifo.keepRemainder(&z, 1));
  ASSERT_EQ(fifo.size(), 1u);
  EXPECT_EQ(fifo.data()[0], 'Z');
}

TEST(ByteFifo, KeepRemainderCopiesSoTheSourceMayBeFreed) {
  ByteFifo fifo;
  uint8_t* source = new uint8_t[3]{5, 6, 7};
  ASSERT_TRUE(fifo.keepRemainder(source, 3));
  delete[] source;
  ASSERT_EQ(fifo.size(), 3u);
  EXPECT_EQ(fifo.data()[2], 7);
}

TEST(ByteFifo, AdoptTakesStorageAndReleaseEmpties) {
  ByteFifo fifo;
  const uint8_t held[] = {1};
  ASSERT_TRUE(fifo.keepRemainder(held, 1));
  uint8_t* storage = new uint8_t[2]{3, 4};
  fifo.adopt(storage, 2);
  EXPECT_EQ(fifo.data(), storage);
  EXPECT_EQ(fifo.size(), 2u);
  fifo.release();
  EXPECT_EQ(fifo.data(), nullptr);
  EXPECT_EQ(fifo.size(), 0u);
  fifo.release();  // harmless when empty
}

TEST(ByteFifo, JoinRefusesTotalsBeyond32Bits) {
  ByteFifo fifo;
  const uint8_t held[] = {1, 2};
  ASSERT_TRUE(fifo.keepRemainder(held, 2));
  uint32_t count = UINT32_MAX - 1;
  EXPECT_EQ(fifo.drainAndAppend(held, count), nullptr);
  EXPECT_EQ(count, UINT32_MAX - 1);
  EXPECT_EQ(fifo.size(), 2u);  // nothing lost
}

}  // namespace
