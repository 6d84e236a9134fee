#include "core/wide_division.h"

uint64_t DivideWide(uint64_t dividend, uint64_t divisor, uint64_t* remainder) {
#if UINTPTR_MAX > 0xFFFFFFFFu
  // A 64-bit processor divides these itself.
  if (remainder != nullptr) *remainder = dividend % divisor;
  return dividend / divisor;
#else
  // Long division, one bit of the quotient at a time.
  uint64_t quotient = 0, rest = 0;
  for (int bit = 63; bit >= 0; --bit) {
    const uint64_t carried = rest >> 63;  // a divisor of 2^63 or more can leave rest that high
    rest = (rest << 1) | ((dividend >> bit) & 1);
    quotient <<= 1;
    if (carried != 0 || rest >= divisor) {
      rest -= divisor;
      quotient |= 1;
    }
  }
  if (remainder != nullptr) *remainder = rest;
  return quotient;
#endif
}
