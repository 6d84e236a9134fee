#include "core/lzma_range_encoder.h"

void RangeEncoder::Deliver() {
  if (used != 0 && !failed && !sink(context, block, used)) failed = 1;
  used = 0;
}

// A byte leaves only once no carry can change it: a run of 0xFF waits for the carry.
void RangeEncoder::ShiftLow() {
  if (static_cast<uint32_t>(low) < 0xFF000000u || (low >> 32) != 0) {
    const uint8_t carry = static_cast<uint8_t>(low >> 32);
    uint8_t byte = cache;
    do {
      Put(static_cast<uint8_t>(byte + carry));
      byte = 0xFF;
    } while (--pending != 0);
    cache = static_cast<uint8_t>(low >> 24);
  }
  ++pending;
  low = (low & 0x00FFFFFF) << 8;
}

void RangeEncoder::Bit(LzmaProbability* probability, unsigned bit) {
  const unsigned p = *probability;
  const uint32_t bound = (range >> kLzmaProbabilityBits) * p;
  if (bit == 0) {
    range = bound;
    *probability = static_cast<LzmaProbability>(p + (((1u << kLzmaProbabilityBits) - p) >> 5));
  } else {
    low += bound;
    range -= bound;
    *probability = static_cast<LzmaProbability>(p - (p >> 5));
  }
  while (range < (1u << 24)) {
    range <<= 8;
    ShiftLow();
  }
}

void RangeEncoder::Tree(LzmaProbability* probabilities, unsigned bits, unsigned value) {
  unsigned node = 1;
  while (bits--) {
    const unsigned bit = (value >> bits) & 1;
    Bit(probabilities + node, bit);
    node = (node << 1) | bit;
  }
}

void RangeEncoder::ReverseTree(LzmaProbability* probabilities, unsigned bits, unsigned value) {
  unsigned node = 1;
  while (bits--) {
    const unsigned bit = value & 1;
    value >>= 1;
    Bit(probabilities + node, bit);
    node = (node << 1) | bit;
  }
}

void RangeEncoder::DirectBits(uint32_t value, unsigned count) {
  while (count--) {
    range >>= 1;
    if ((value >> count) & 1) low += range;
    while (range < (1u << 24)) {
      range <<= 8;
      ShiftLow();
    }
  }
}

void RangeEncoder::Flush() {
  for (int k = 0; k < 5; ++k) ShiftLow();
  Deliver();
}
