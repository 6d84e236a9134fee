// The cheap look that spares the trial compression: which blocks count as evenly spread
// (and so still go through the trial) and which plainly repeat byte values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/byte_spread.h"
#include "host/support/compressed_fixture.h"
#include "support/seeded_bytes.h"

namespace {

std::vector<uint8_t> Bytes(const std::vector<char>& chars) { return std::vector<uint8_t>(chars.begin(), chars.end()); }

// `values` distinct byte values, each `times` times, in turn.
std::vector<uint8_t> Cycle(int values, int times) {
  std::vector<uint8_t> bytes;
  for (int t = 0; t < times; ++t) {
    for (int v = 0; v < values; ++v) bytes.push_back(static_cast<uint8_t>(v * 256 / values));
  }
  return bytes;
}

TEST(ByteSpread, EvenlySpreadBytesLookIncompressibleAndRepeatedValuesDoNot) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    int incompressible;
  };
  const std::vector<Case> cases = {
      {"random bytes", Bytes(PseudoRandomBytes(128 << 10, 3)), 1},
      {"a short random block", Bytes(PseudoRandomBytes(200, 4)), 1},
      {"random bytes repeated: evenly spread though they would shrink", Cycle(256, 64), 1},
      {"too few bytes to judge", std::vector<uint8_t>(63, 'a'), 1},
      {"zeros", std::vector<uint8_t>(4096, 0), 0},
      {"just enough zeros to judge", std::vector<uint8_t>(64, 0), 0},
      {"text", Bytes(CompressibleBytes(64 << 10, 5)), 0},
      {"a quarter of the values", Cycle(64, 64), 0},
      // k values equally often: two bytes are equal with a chance just under 1/k, which
      // for 128 values stays under twice random's 1/256 and for 127 (200 times) reaches it.
      {"half the values", Cycle(128, 200), 1},
      {"one value fewer than half", Cycle(127, 200), 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LooksIncompressible(c.bytes.data(), c.bytes.size()), c.incompressible) << c.what;
  }
}

}  // namespace
