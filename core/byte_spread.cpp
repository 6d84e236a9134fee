#include "core/byte_spread.h"

namespace {

const size_t kLeastJudged = 64;

}  // namespace

int LooksIncompressible(const uint8_t* bytes, size_t length) {
  if (length < kLeastJudged) return 1;
  uint64_t counts[256] = {0};
  for (size_t k = 0; k < length; ++k) ++counts[bytes[k]];
  // Ordered pairs of equal bytes, against the n(n-1)/256 that evenly spread values give.
  uint64_t equalPairs = 0;
  for (int value = 0; value < 256; ++value) {
    if (counts[value] > 1) equalPairs += counts[value] * (counts[value] - 1);
  }
  const uint64_t pairs = static_cast<uint64_t>(length) * (length - 1);
  return equalPairs * 256 < 2 * pairs;
}
