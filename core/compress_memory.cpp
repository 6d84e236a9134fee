#include "core/compress_memory.h"
#include "core/wide_division.h"

namespace {

uint64_t SaturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

}  // namespace

uint64_t CompressMemoryBudget(uint64_t limit, uint64_t physicalMemory, uint64_t heldForRows) {
  const uint64_t counted = limit > kUncountedMemory ? limit - kUncountedMemory : 0;
  uint64_t budget = heldForRows < counted ? counted - heldForRows : 0;
  if (physicalMemory != 0 && physicalMemory / 2 < budget) budget = physicalMemory / 2;
  return budget;
}

uint64_t StreamBound(uint64_t originalSize) {
  // 3 % over the input, and room for the header and the encoder's last output step.
  return SaturatingAdd(originalSize, originalSize / 32 + (64u << 10));
}

uint64_t GroupReservation(uint64_t encoderMemory, uint64_t originalSize, uint64_t aheadLimit) {
  const uint64_t stream = StreamBound(originalSize);
  return SaturatingAdd(SaturatingAdd(encoderMemory, kGroupReadBlock), stream < aheadLimit ? stream : aheadLimit);
}

unsigned EncodersThatFit(unsigned wanted, uint64_t largestReservation, uint64_t budget) {
  if (wanted < 1) return 1;
  if (largestReservation == 0) return wanted;
  const uint64_t fit = DivideWide(budget, largestReservation);
  return fit < 1 ? 1 : (fit < wanted ? static_cast<unsigned>(fit) : wanted);
}
