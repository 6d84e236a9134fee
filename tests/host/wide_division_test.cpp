// The long division of the 32-bit programs against the processor's, on the edges of the
// range (divisors of 2^63 and more, quotients of 0, 1 and 2^64 - 1) and on seeded values.
#include <gtest/gtest.h>
#include <stdint.h>

#include <random>

#include "core/wide_division.h"

TEST(WideDivision, LongDivisionMatchesTheProcessors) {
  std::mt19937_64 random(40);
  const uint64_t edges[] = {1, 2, 3, 100, 0xFFFFFFFFull, 1ull << 32, (1ull << 63) - 1, 1ull << 63, ~0ull};
  for (int k = 0; k < 20000; ++k) {
    const uint64_t dividend = k < 81 ? edges[k / 9] : random() >> (random() % 64);
    uint64_t divisor = k < 81 ? edges[k % 9] : random() >> (random() % 64);
    if (divisor == 0) divisor = 1;
    uint64_t rest = 0;
    ASSERT_EQ(LongDivide(dividend, divisor, &rest), dividend / divisor) << dividend << " / " << divisor;
    ASSERT_EQ(rest, dividend % divisor) << dividend << " % " << divisor;
  }
}
