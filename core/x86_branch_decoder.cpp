#include "core/x86_branch_decoder.h"

// The top byte of a near branch's 32-bit displacement is 00 or FF for any target within
// 16 MiB; only such operands were converted.
static inline bool IsNearTopByte(uint8_t b) { return b == 0x00 || b == 0xFF; }

// Bits 1..3 of `recent_` say which of the three bytes before an E8/E9 were themselves
// candidates. Some of those patterns mean this byte is likely inside another branch's
// operand; the converter left such bytes alone.
static const bool kRecentAllowsConversion[8] = {true, true, true, false, true, false, false, false};
// For a pattern, which byte of the result (counted from the top) would have been a
// candidate's top byte when the encoder looked at it.
static const unsigned kRecentByteIndex[8] = {0, 1, 2, 2, 3, 3, 3, 3};

// The absolute target written by the encoder back to the relative displacement.
static uint32_t UndoTarget(uint32_t stored, uint32_t nextInstruction, uint32_t recent) {
  uint32_t target;
  for (;;) {
    target = stored - nextInstruction;
    if (recent == 0) break;
    const unsigned index = kRecentByteIndex[(recent >> 1) & 7];
    if (!IsNearTopByte(static_cast<uint8_t>(target >> (24 - index * 8)))) break;
    stored = target ^ ((1u << (32 - index * 8)) - 1);
  }
  return target;
}

size_t X86BranchDecoder::Convert(uint8_t* data, size_t length) {
  if (length < 5) return 0;
  uint32_t recent = recent_;
  uint32_t lastBranch = lastBranch_;
  const uint32_t start = position_;
  if (start - lastBranch > 5) lastBranch = start - 5;
  size_t i = 0;
  const size_t last = length - 5;
  while (i <= last) {
    if ((data[i] & 0xFE) != 0xE8) {
      ++i;
      continue;
    }
    const uint32_t here = start + static_cast<uint32_t>(i);
    const uint32_t gap = here - lastBranch;
    lastBranch = here;
    if (gap > 5) {
      recent = 0;
    } else {
      for (uint32_t k = 0; k < gap; ++k) recent = (recent & 0x77) << 1;
    }
    const uint8_t top = data[i + 4];
    if (IsNearTopByte(top) && kRecentAllowsConversion[(recent >> 1) & 7] && (recent >> 1) < 0x10) {
      const uint32_t stored = static_cast<uint32_t>(top) << 24 | static_cast<uint32_t>(data[i + 3]) << 16 |
                              static_cast<uint32_t>(data[i + 2]) << 8 | data[i + 1];
      const uint32_t target = UndoTarget(stored, here + 5, recent);
      // Only bit 24 survives: the top byte goes back to 00 or FF.
      data[i + 4] = static_cast<uint8_t>(0 - ((target >> 24) & 1));
      data[i + 3] = static_cast<uint8_t>(target >> 16);
      data[i + 2] = static_cast<uint8_t>(target >> 8);
      data[i + 1] = static_cast<uint8_t>(target);
      i += 5;
      recent = 0;
    } else {
      ++i;
      recent |= 1;
      if (IsNearTopByte(top)) recent |= 0x10;
    }
  }
  recent_ = recent;
  lastBranch_ = lastBranch;
  position_ = start + static_cast<uint32_t>(i);
  return i;
}
