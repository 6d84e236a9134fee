#include "core/member_checksum.h"

#include <string.h>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the checksum reads little-endian words"
#endif

void MemberChecksum::AddBlocks(const unsigned char* bytes, size_t blocks) {
  // Locals, so that the eight sums stay in registers across the loop.
  uint32_t a0 = sums_[0], a1 = sums_[1], a2 = sums_[2], a3 = sums_[3];
  uint32_t b0 = sumsOfSums_[0], b1 = sumsOfSums_[1], b2 = sumsOfSums_[2], b3 = sumsOfSums_[3];
  for (; blocks > 0; --blocks, bytes += 16) {
    uint32_t w0, w1, w2, w3;
    memcpy(&w0, bytes, 4);
    memcpy(&w1, bytes + 4, 4);
    memcpy(&w2, bytes + 8, 4);
    memcpy(&w3, bytes + 12, 4);
    a0 += w0;
    b0 += a0;
    a1 += w1;
    b1 += a1;
    a2 += w2;
    b2 += a2;
    a3 += w3;
    b3 += a3;
  }
  sums_[0] = a0, sums_[1] = a1, sums_[2] = a2, sums_[3] = a3;
  sumsOfSums_[0] = b0, sumsOfSums_[1] = b1, sumsOfSums_[2] = b2, sumsOfSums_[3] = b3;
}
