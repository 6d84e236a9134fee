// The core's one owner of heap blocks: what a grown block keeps, what a fresh one holds,
// and the sizes it must refuse rather than wrap around.
#include <gtest/gtest.h>
#include <stdint.h>

#include "core/growable_block.h"

TEST(GrowableBlock, GrowingKeepsEveryElementAndDoublesFromTheFirstSize) {
  struct Case {
    size_t first;
    size_t needed;
    size_t capacity;  // expected after Reserve(needed, first)
  };
  const Case cases[] = {{64, 1, 64}, {64, 64, 64}, {64, 65, 128}, {16384, 20000, 32768}, {1, 1000, 1024}};
  for (const Case& c : cases) {
    GrowableBlock<uint32_t> block;
    ASSERT_EQ(1, block.Reserve(c.needed, c.first)) << c.needed;
    EXPECT_EQ(c.capacity, block.capacity()) << c.needed;
  }
  GrowableBlock<uint32_t> block;
  for (uint32_t i = 0; i < 100000; ++i) {
    ASSERT_EQ(1, block.Reserve(i + 1, 8));
    block[i] = i * 2654435761u;
  }
  for (uint32_t i = 0; i < 100000; ++i) ASSERT_EQ(i * 2654435761u, block[i]) << i;
}

TEST(GrowableBlock, AllocateGivesZerosAndRefusesWhatCannotBeCounted) {
  GrowableBlock<uint64_t> block;
  EXPECT_FALSE(block.valid());
  ASSERT_EQ(1, block.Reserve(10));
  block[0] = 7;
  ASSERT_EQ(1, block.Allocate(1000));
  for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(0u, block[i]) << i;
  EXPECT_EQ(1, block.Allocate(0)) << "an empty block is still a block";
  EXPECT_TRUE(block.valid());

  // Sizes whose byte count would wrap: refused, and the block holds nothing after Allocate.
  EXPECT_EQ(0, block.Allocate(SIZE_MAX / 4));
  EXPECT_FALSE(block.valid());
  ASSERT_EQ(1, block.Reserve(4));
  block[3] = 9;
  EXPECT_EQ(0, block.Reserve(SIZE_MAX / 2));
  ASSERT_TRUE(block.valid()) << "a failed growth leaves the block as it was";
  EXPECT_EQ(9u, block[3]);
}

TEST(GrowableBlock, SwapTradesContentsAndFreeEmpties) {
  GrowableBlock<char> small;
  GrowableBlock<char> large;
  ASSERT_EQ(1, small.Reserve(4, 4));
  ASSERT_EQ(1, large.Allocate(4096));
  small[0] = 's';
  large[4095] = 'l';
  small.Swap(large);
  EXPECT_EQ(4096u, small.capacity());
  EXPECT_EQ('l', small[4095]);
  EXPECT_EQ(4u, large.capacity());
  EXPECT_EQ('s', large[0]);
  large.Free();
  EXPECT_FALSE(large.valid());
  EXPECT_EQ(0u, large.capacity());
}
