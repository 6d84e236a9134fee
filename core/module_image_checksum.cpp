// The module image's checksum: it runs once over the program's bytes, not over every
// member, so it is built for size with the rest of the program rather than for speed.
#include "core/member_checksum.h"

ModuleImageChecksum::ModuleImageChecksum(uint64_t checksumAt, uint64_t directoryAt) : position_(0) {
  masks_[0] = checksumAt;
  masks_[1] = directoryAt;
  maskWidths_[0] = checksumAt != 0 ? 4 : 0;
  maskWidths_[1] = directoryAt != 0 ? 8 : 0;
}

void ModuleImageChecksum::Observe(const char* bytes, size_t length) {
  // Walks the block, counting the masked bytes as zeros.
  const uint64_t start = position_;
  const uint64_t end = start + length;
  uint64_t at = start;
  while (at < end) {
    uint64_t nextMask = end, maskEnd = end;
    for (int m = 0; m < 2; ++m) {
      const uint64_t from = masks_[m], to = masks_[m] + maskWidths_[m];
      if (maskWidths_[m] == 0 || to <= at) continue;
      const uint64_t clippedFrom = from > at ? from : at;
      if (clippedFrom < nextMask) {
        nextMask = clippedFrom;
        maskEnd = to < end ? to : end;
      }
    }
    if (nextMask > at) checksum_.Add(bytes + (at - start), static_cast<size_t>(nextMask - at));
    if (nextMask >= end) break;
    checksum_.AddZeros(static_cast<size_t>(maskEnd - nextMask));
    at = maskEnd;
  }
  position_ = end;
}
