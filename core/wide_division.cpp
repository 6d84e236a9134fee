#include "core/wide_division.h"

uint64_t LongDivide(uint64_t dividend, uint64_t divisor, uint64_t* remainder) {
  uint64_t quotient = 0, rest = 0;
  // Before bit `bit` comes down, rest holds fewer than 64 - bit bits: the shift never
  // loses one.
  for (int bit = 63; bit >= 0; --bit) {
    rest = (rest << 1) | ((dividend >> bit) & 1);
    quotient <<= 1;
    if (rest >= divisor) {
      rest -= divisor;
      quotient |= 1;
    }
  }
  if (remainder != nullptr) *remainder = rest;
  return quotient;
}

uint64_t DivideWide(uint64_t dividend, uint64_t divisor, uint64_t* remainder) {
#if UINTPTR_MAX > 0xFFFFFFFFu
  // A 64-bit processor divides these itself.
  if (remainder != nullptr) *remainder = dividend % divisor;
  return dividend / divisor;
#else
  return LongDivide(dividend, divisor, remainder);
#endif
}
